// The numbering of file kinds and subfile kinds, shared by the reader, the
// report and every writer (whose kind masks are 1 << kind).
#pragma once

#include <cstdint>

// Kinds of input files and of maps; a writer's kind masks are 1 << FileKind.
enum FileKind : uint32_t {
    FILE_IMG = 0,  // an IMG container
    FILE_TRF = 1,
    FILE_TYP = 2,
    FILE_TDB = 3,
    FILE_MMR = 4,
    FILE_MD2 = 5,
    FILE_SRT = 7,
    FILE_IDX = 8,  // an MDR index subfile
    FILE_ISM = 9,  // an ISM.IDX file
    FILE_QSI = 10,
    FILE_SID = 11,
    FILE_MPC = 12,  // a map of separate TRE, RGN, LBL, NET, NOD, DEM subfiles
    FILE_MPS = 13,
    FILE_NT = 14,  // a map in one GMP subfile
    FILE_JCV = 15,
    FILE_OTHER = 16,  // any other subfile
};

// Kinds of subfiles, by extension; masks are 1 << SubfileKind.
enum SubfileKind : uint32_t {
    SUB_NONE = 0,  // raw data of a single-file input
    SUB_TYP = 2,
    SUB_TDB = 3,
    SUB_TRF = 4,
    SUB_MMR = 5,
    SUB_MD2 = 6,
    SUB_MDR = 7,
    SUB_IDX = 8,
    SUB_QSI = 9,
    SUB_SID = 10,
    SUB_SRT = 11,
    SUB_DEM = 12,
    SUB_LBL = 13,
    SUB_NET = 14,
    SUB_NOD = 15,
    SUB_RGN = 16,
    SUB_TRE = 17,
    SUB_GMP = 18,
    SUB_MPS = 19,
    SUB_JCV = 20,
    SUB_OTHER = 21,  // unknown extension, or a header a reader rejected
};
