// Join driver: all maps and data files of the input list into one new IMG
// file, grouped by file kind in a fixed order, with an MPS subfile that
// describes them.
#pragma once

#include <cstdint>

#include "core/input_file.h"
#include "operations/img_writer.h"
#include "operations/size_plan.h"

// The join of the task: the map-ID check, then write_joined_img. 0 with
// "Input files missing." and one error for an empty list.
int join_input_maps(InputList& inputs);
// Plans, writes and finishes the output file of task_options.output_file.
// An output that is one of the inputs is refused before anything is
// written. Every failure counts one error.
int write_joined_img(InputList& inputs);
// "Writing: label", the mask added to the written kinds, then every input's
// maps and data files of those kinds.
int write_kind_from_inputs(InputList& inputs, uint32_t file_kind_mask, ImgWriter& writer, const char* label);
// The end of a join: the kinds not yet written, the mapset name, the MPS
// and the final header.
int zakoncz_plik(InputList& inputs, uint32_t kinds_present, ImgWriter& writer);
// Logs the outcome of a size plan that failed and counts one error (0), or
// with verbose the size chosen (1).
int report_size_plan(PlanOutcome outcome, const OutputSizePlan& plan);
