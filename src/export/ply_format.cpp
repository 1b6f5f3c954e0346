// The point cloud as PLY, binary little-endian or text: one vertex per point
// of the shared view (export/scan_points.hpp), with the fields of
// export/point_fields.hpp.
#include <string>

#include "export/chunked_writer.hpp"
#include "export/export_format.hpp"
#include "export/point_fields.hpp"
#include "export/stream_failure.hpp"

namespace velscan::exporter {
namespace {

std::string_view PlyType(FieldType type) {
    switch (type) {
        case FieldType::kFloat32: return "float";
        case FieldType::kInt32: return "int";
        case FieldType::kFloat64: return "double";
    }
    return "float";
}

std::string Header(const ExportJob& job, std::span<const PointField> fields) {
    std::string header = "ply\n";
    header += job.Settings().ascii ? "format ascii 1.0\n" : "format binary_little_endian 1.0\n";
    header += "comment velscan-export of " + HeaderCommentText(job.Source()) + "\n";
    header += "comment units: " + std::string(job.Points().UnitName()) +
              "; x forward, y left, z up; scanner at the origin\n";
    if (!job.Pose().IsIdentity())
        header += "comment scan pose (the points stay in the scanner's frame): in the site the scanner at " +
                  PoseNumbers(job.Pose().position.data(), 3) + ", turned by the quaternion (w x y z) " +
                  PoseNumbers(job.Pose().orientation.data(), 4) + "\n";
    if (job.Times())
        header += "comment scalar_time: seconds since the scan's start " + HeaderCommentText(job.Times()->start) +
                  "; scalar_lost: 1 on a line that lost samples\n";
    if (const std::size_t beyond = job.RowsBeyondPointRange(); beyond > 0)
        header += "comment " + BeyondPointRangeReport(beyond) + "\n";
    header += "element vertex " + std::to_string(job.Points().Count()) + "\n";
    for (const PointField& field : fields)
        header.append("property ").append(PlyType(field.type)).append(" ").append(field.name).append("\n");
    header += "end_header\n";
    return header;
}

void WritePly(std::FILE* out, const ExportJob& job) {
    const std::span<const PointField> fields = PointFields(job.Times().has_value());
    const std::string header = Header(job, fields);
    WriteAll(out, header.data(), header.size());

    const bool ascii = job.Settings().ascii;
    const PointTimes* times = job.Times() ? &*job.Times() : nullptr;
    ChunkedWriter chunks(out, kMaxTextRecordChars);
    job.Points().ForEach([&](const ScanPoint& point) {
        const PointRecord record = RecordOf(point, times);
        chunks.Wrote(ascii ? AppendTextRecord(chunks.Next(), record, fields)
                           : AppendBinaryRecord(chunks.Next(), record, fields));
    });
    chunks.Flush();
}

}  // namespace

extern const ExportFormat kPlyFormat;
const ExportFormat kPlyFormat{"--ply", ".ply",
                              "  --ply PATH            point cloud, binary little-endian PLY\n",
                              WritePly};

}  // namespace velscan::exporter
