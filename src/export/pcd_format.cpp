// The scan's grid (export/scan_grid.hpp) as an organised PCD cloud, binary
// or text: WIDTH x HEIGHT points of the grid, row after row, with the
// fields of export/point_fields.hpp. A cell without return has NaN in its
// floating fields and -1 in its integer ones. The scan's pose is the
// cloud's viewpoint.
#include <string>

#include "export/chunked_writer.hpp"
#include "export/export_format.hpp"
#include "export/point_fields.hpp"
#include "export/stream_failure.hpp"

namespace velscan::exporter {
namespace {

char PcdType(FieldType type) { return type == FieldType::kInt32 ? 'I' : 'F'; }

std::string Header(const ExportJob& job, std::span<const PointField> fields) {
    const ScanGrid& grid = job.Grid();
    std::string names, sizes, types, counts;
    for (const PointField& field : fields) {
        names.append(" ").append(field.name);
        sizes.append(" ").append(std::to_string(FieldBytes(field.type)));
        types.append(" ").push_back(PcdType(field.type));
        counts.append(" 1");
    }
    std::string header = "# .PCD v0.7 - velscan-export of " + HeaderCommentText(job.Source()) + "; units: " +
                         std::string(job.Points().UnitName()) + "; x forward, y left, z up\n";
    if (job.Times())
        header += "# scalar_time: seconds since the scan's start " + HeaderCommentText(job.Times()->start) +
                  "; scalar_lost: 1 on a line that lost samples (NaN and -1 without return)\n";
    if (grid.LeftOut() > 0) header += "# " + grid.LeftOutReport() + "\n";
    if (const std::size_t beyond = job.RowsBeyondPointRange(); beyond > 0)
        header += "# " + BeyondPointRangeReport(beyond) + "\n";
    header += "VERSION 0.7\nFIELDS" + names + "\nSIZE" + sizes + "\nTYPE" + types + "\nCOUNT" + counts + "\n";
    header += "WIDTH " + std::to_string(grid.Width()) + "\nHEIGHT " + std::to_string(grid.Height()) + "\n";
    header += "VIEWPOINT " + PoseNumbers(job.Pose().position.data(), 3) + " " +
              PoseNumbers(job.Pose().orientation.data(), 4) + "\n";
    header += "POINTS " + std::to_string(grid.Cells()) + "\n";
    header += job.Settings().ascii ? "DATA ascii\n" : "DATA binary\n";
    return header;
}

void WritePcd(std::FILE* out, const ExportJob& job) {
    const std::span<const PointField> fields = PointFields(job.Times().has_value());
    const std::string header = Header(job, fields);
    WriteAll(out, header.data(), header.size());

    const ScanGrid& grid = job.Grid();
    const bool ascii = job.Settings().ascii;
    const PointTimes* times = job.Times() ? &*job.Times() : nullptr;
    const PointRecord noReturn = NoReturnRecord();
    ChunkedWriter chunks(out, kMaxTextRecordChars);
    for (int y = 0; y < grid.Height(); ++y)
        for (int x = 0; x < grid.Width(); ++x) {
            const std::int32_t row = grid.RowAt(x, y);
            const PointRecord record = row == ScanGrid::kNoReturn
                                           ? noReturn
                                           : RecordOf(job.Points().At(static_cast<std::size_t>(row)), times);
            chunks.Wrote(ascii ? AppendTextRecord(chunks.Next(), record, fields)
                               : AppendBinaryRecord(chunks.Next(), record, fields));
        }
    chunks.Flush();
}

}  // namespace

extern const ExportFormat kPcdFormat;
const ExportFormat kPcdFormat{"--pcd", ".pcd",
                              "  --pcd PATH            the scan's grid as an organised PCD cloud, binary\n"
                              "                        (NaN without return)\n",
                              WritePcd};

}  // namespace velscan::exporter
