// Split driver: the inputs of a task written out again as separate files in
// the output directory, one mode per run (TYP files, subfiles, mapsets by
// family ID, single maps, outline maps), chosen by the split flags of
// `task_options` alone.
//
// The driver owns the run state that the output writers share (the
// "split.lst" stream and the input counter), the choice of per-map output
// names and numbers, the mapset-area filter and the "pd_" catalogue that
// every split writer prints through.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/input_file.h"
#include "core/messages.h"

extern MessageText pd_WDSSLU;
extern MessageText pd_WrDaSS;
extern MessageText pd_WMSSFH;
extern MessageText pd_WrMaSS;
extern MessageText pd_WDDNAT;
extern MessageText pd_SpMDFS;
extern MessageText pd_WrDSLU;
extern MessageText pd_WriDaS;
extern MessageText pd_WrSSLU;
extern MessageText pd_WriSuS;
extern MessageText pd_WBSNSL;
extern MessageText pd_WriBiS;
extern MessageText pd_Writin;
extern MessageText pd_OtherT;
extern MessageText pd_WrDaMa;
extern MessageText pd_WriHea;
extern MessageText pd_TFLTBK;
extern MessageText pd_TFLTBB;
extern MessageText pd_TFLTBT;
extern MessageText pd_MNTWNF;
extern MessageText pd_SBUHUS;
extern MessageText pd_SpFSIM;
extern MessageText pd_WNAMWU;
extern MessageText pd_UnMaSS;
extern MessageText pd_UOFSFM;
extern MessageText pd_FSOOMA;
extern MessageText pd_SplMaS;
extern MessageText pd_MSOOMA;
extern MessageText pd_MiInFi;
extern MessageText pd_Indexe;
extern MessageText pd_DatTrf;
extern MessageText pd_DatTyp;
extern MessageText pd_DatTdb;
extern MessageText pd_DatMmr;
extern MessageText pd_DatMd2;
extern MessageText pd_MapsNt;
extern MessageText pd_MapMpc;
extern MessageText pd_CreFiS;
extern MessageText pd_OutPaS;

// What every output writer of one run shares.
struct SplitRun {
    FILE* list = nullptr;        // "split.lst"; null when not wanted or not created
};

// Runs the split over the whole list. 1 success; 0 when it ended early or
// counted an error on the way (with the MapSource preparation, also when the
// installation data failed).
int split_input_files(InputList& inputs);

// 1 when a file of the path's file name exists in the output directory (the
// current directory when none is set).
int exists_in_output_directory(const char* path);
// 1 when a map with these TRE bounds lies outside the mapset area (the
// task's four limits, or beyond 90 degrees of latitude without them).
int is_outside_mapset_area(const TreInfo& tre);
// Output file name and number of a per-map IMG file. counter is the run's
// number counter for maps that carry no usable number (0: none); it grows by
// one each time it names a map.
void make_split_map_file_name(const MapEntry& map, uint32_t& counter, std::string& name, uint32_t& number);

// One F record of an input's MPS in the mapsets-by-family mode.
struct FamilyRow {
    uint32_t fid = 0;
    uint32_t pid = 0;
    const MpsRecordRef* record = nullptr;
};
// Orders two family rows by FID, then PID; -1, 0, 1.
int compare_family_rows(const FamilyRow& a, const FamilyRow& b);

// The number an 8-character map name stands for as a whole ("I" and
// hexadecimal digits, or decimal digits; trailing blanks allowed), or 0
// when it is none or lies outside 1 .. 99999999.
uint32_t map_name_number(const char* name8);
// Sets the input's base_name from its path (the file name, at most 79 bytes).
void set_input_base_name(InputFile& input);
// Appends the file name to "split.lst" when it is open.
void add_split_list_line(SplitRun& run, const std::string& file_name);
