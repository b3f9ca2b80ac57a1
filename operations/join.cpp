// Join driver.
//
// The output is planned whole before it is created, written strictly
// forward kind by kind, and its header and FAT are written last. A failure
// stops the join at once; the partly written file stays on disk.
#include "operations/join.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "core/files.h"
#include "core/host.h"
#include "core/img_format.h"
#include "core/map_ids.h"
#include "operations/gmp_packing.h"
#include "operations/mps_builder.h"
#include "core/task_options.h"

// Without a name of its own a joined mapset is called this.
static constexpr const char* default_mapset_name = "Tarnwick All";

namespace {

// The kinds written before the "other" pass, in order.
struct KindStep {
    const MessageText* label;
    uint32_t mask;
};
const KindStep kind_steps[] = {
    {&dd_Indexe, 1u << FILE_IDX}, {&dd_DatMd2, 1u << FILE_MD2}, {&dd_DatTrf, 1u << FILE_TRF},
    {&dd_DatTyp, 1u << FILE_TYP}, {&dd_DatTdb, 1u << FILE_TDB}, {&dd_DatMmr, 1u << FILE_MMR},
    {&dd_MapsNt, 1u << FILE_NT},  {&dd_MapMpc, 1u << FILE_MPC},
};

// Whether path names an existing file that is also one of the inputs (the
// same device and inode, so links and other spellings are caught).
bool output_is_an_input(const InputList& inputs, const char* path)
{
    struct stat output {};
    if (stat(path, &output) != 0)
        return false;
    for (const auto& input : inputs) {
        struct stat in {};
        if (stat(input->path.c_str(), &in) == 0 && in.st_dev == output.st_dev && in.st_ino == output.st_ino)
            return true;
    }
    return false;
}

// The mapset name laid into 60 blanks and split over the header's two fields.
void put_mapset_name(ImgWriter& writer)
{
    std::string name = writer_mapset_name(writer);
    name.resize(60, ' ');
    ByteSpan h(writer.header_buffer);
    h.put_bytes(ImgHeader::mapset_name_1, name.data(), ImgHeader::mapset_name_1_length);
    h.put_bytes(ImgHeader::mapset_name_2, name.data() + ImgHeader::mapset_name_1_length,
                ImgHeader::mapset_name_2_length);
}

void set_up_writer(ImgWriter& writer)
{
    const TaskOptions& o = task_options;
    writer.output_name = o.output_file;
    writer.mapset_name = o.mapset_name.empty() ? default_mapset_name : o.mapset_name;
    writer.header_flags = o.version_flags;
    writer.version_major = o.version_bytes[0];
    writer.version_minor = o.version_bytes[1];
    writer.mapsource_flag = o.version_bytes[2];
    memcpy(writer.product_code, o.product_code, sizeof writer.product_code);
}

// Header template and every kind in its step; then the end.
int write_contents(InputList& inputs, const OutputSizePlan& plan, ImgWriter& writer)
{
    if (!init_img_header(writer))
        return 0;
    // Without an MPS every kind goes in the "other" pass, in input order.
    if (!task_options.no_mps) {
        for (const KindStep& step : kind_steps)
            if (!write_kind_from_inputs(inputs, step.mask, writer, step.label->text()))
                return 0;
    }
    return zakoncz_plik(inputs, plan.kinds_present, writer);
}

}  // namespace

int report_size_plan(PlanOutcome outcome, const OutputSizePlan& plan)
{
    switch (outcome) {
    case PLAN_OK:
        if (task_options.verbose)
            log_message(dd_SBUHUS.text(), plan.chosen_block_size, plan.header_area_size,
                        format_u64_decimal(plan.planned_total_size));
        return 1;
    case PLAN_TOO_MANY_SECTORS:
        log_message(dd_TFLTBK.text(), static_cast<uint32_t>(std::min<uint64_t>(plan.blocks_a, UINT32_MAX)),
                    static_cast<uint32_t>(std::min<uint64_t>(plan.total_length / 1024, UINT32_MAX)));
        break;
    case PLAN_BLOCK_TOO_BIG:
        log_message(dd_TFLTBB.text());
        break;
    case PLAN_TOO_MANY_BLOCKS:
        log_message(dd_TFLTBT.text());
        break;
    }
    ++error_count;
    return 0;
}

int join_input_maps(InputList& inputs)
{
    if (inputs.empty()) {
        ++error_count;
        log_message(dd_InFiMi.text());
        return 0;
    }
    if (!check_output_file_folder(task_options.output_file.c_str())) {
        ++error_count;
        return 0;
    }
    collect_map_ids(inputs);
    return write_joined_img(inputs);
}

int write_joined_img(InputList& inputs)
{
    const TaskOptions& o = task_options;
    const char* output = o.output_file.c_str();
    if (output_is_an_input(inputs, output)) {
        log_message(dd_OIAIFS.text(), output);
        ++error_count;
        return 0;
    }
    OutputSizePlan plan;
    plan.header_size = o.short_header ? 1024 : 4096;
    plan.excluded_kinds = (o.remove_dem ? 1u << SUB_DEM : 0) | (o.remove_nod ? 1u << SUB_NOD : 0);
    plan.nt_packing = o.nt_format;
    if (plan.nt_packing && !find_unpacked_maps(inputs, ~plan.excluded_kinds, plan.unpacked_maps)) {
        ++error_count;
        return 0;
    }
    plan.mapset_name_length = o.mapset_name.empty()
                                  ? static_cast<uint32_t>(strlen(default_mapset_name))
                                  : static_cast<uint32_t>(std::min(o.mapset_name.size(), max_mapset_name));
    std::vector<const InputFile*> list;
    for (const auto& input : inputs)
        list.push_back(input.get());
    if (!report_size_plan(plan_output_size(list, plan, o.short_header, o.block_size), plan))
        return 0;

    ImgWriter writer;
    if (!init_img_writer(plan, writer)) {
        ++error_count;
        return 0;
    }
    writer.stream = create_output_file_at(output, 1);
    if (!writer.stream) {
        ++error_count;
        return 0;
    }
    set_up_writer(writer);
    reserve_output_space(writer);
    int ok = 0;
    try {
        ok = write_contents(inputs, plan, writer);
    } catch (const std::bad_alloc&) {
        log_message(fn_OuOfMe.text());
    }
    ok = finish_output_file(writer.stream, ok);
    writer.stream = nullptr;
    if (!ok) {
        ++error_count;
        return 0;
    }
    debug_message(DBG_JOIN, "rozmiar mps rm %u, zp %u\n", static_cast<uint32_t>(plan.mps_capacity),
                  static_cast<uint32_t>(writer.mps_buffer.size()));
    return 1;
}

int write_kind_from_inputs(InputList& inputs, uint32_t file_kind_mask, ImgWriter& writer, const char* label)
{
    log_message(dd_Writin.text(), label);
    writer.kinds_written |= file_kind_mask;
    for (auto& input : inputs)
        if (!copy_input_to_img(*input, file_kind_mask, writer))
            return 0;
    return 1;
}

int zakoncz_plik(InputList& inputs, uint32_t kinds_present, ImgWriter& writer)
{
    uint32_t rest = kinds_present & ~writer.kinds_written;
    if (rest && !write_kind_from_inputs(inputs, rest, writer, dd_OtherT.text()))
        return 0;
    put_mapset_name(writer);
    if (!task_options.no_mps) {
        int marine = 0;
        if (!assemble_join_mps(inputs, writer, marine))
            return 0;
        bool bluechart = task_options.mps_name == 2 || (task_options.mps_name == 0 && marine);
        if (!write_whole_subfile(writer, writer.mps_buffer, bluechart ? "BLUCHARTMPS" : "MAPSOURCMPS"))
            return 0;
    }
    log_message(dd_WriHea.text());
    return write_img_header(writer);
}
