// The scan as one structured scan of an ASTM E57 file, written by this
// program itself: no library writes E57 on both of our builds.
//
// The file is a sequence of logical bytes cut into physical pages of 1024
// bytes, each 1020 bytes of data and the CRC-32C of those bytes. It holds,
// in this order: the 48-byte file header; one compressed-vector binary
// section (its 32-byte header, then data packets of at most kRecordsPerPacket
// records each, one bytestream per field); the XML section that describes
// the scan. Offsets in the header and the XML are physical, lengths logical.
//
// The records: every point of the shared view (export/scan_points.hpp), in
// the table's order (the PLY's vertices), each with the row and column of
// its cell of the scan's grid (export/scan_grid.hpp, the grid of PTX and
// PCD: column x, row y); then one record for each cell of the grid that holds
// no point, marked invalid (cartesianInvalidState 2, position 0). A reader
// that drops invalid records so reads exactly the points. Several points may
// share a cell (the grid keeps only the nearest; the E57 keeps them all).
//
// Fields: cartesianX, Y, Z in metres and intensity (the amplitude), single
// precision floats; rowIndex, columnIndex and cartesianInvalidState,
// bit-packed integers. The scan's pose is the data3D's pose (translation in
// metres); the acquisition start and end (GPS time) and the software that
// took the scan come from the table's metadata file when it has one. The two
// GUIDs are made from the table's SHA-256, so one table gives the same
// bytes on every run and every build.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "export/crc32c.hpp"
#include "export/export_format.hpp"
#include "export/stream_failure.hpp"
#include "platform/digest/sha256.hpp"
#include "scanfile/program_version.hpp"

namespace velscan::exporter {
namespace {

constexpr std::uint64_t kPageBytes = 1024;
constexpr std::uint64_t kPageData = kPageBytes - 4;
constexpr std::uint64_t kFileHeaderBytes = 48;
constexpr std::uint64_t kSectionHeaderBytes = 32;
constexpr std::size_t kStreams = 7;
constexpr std::uint64_t kPacketHeaderBytes = 6 + 2 * kStreams;
// With 2048 records a packet stays below its limit of 64 KiB whatever the
// grid's size (four 4-byte floats and at most 2 x 32 + 2 bits a record), and
// every bit-packed stream of a full packet ends on a whole 64-bit word.
constexpr std::size_t kRecordsPerPacket = 2048;
constexpr std::uint8_t kInvalidCell = 2;  // cartesianInvalidState: no position at all

constexpr std::uint64_t PhysicalOffset(std::uint64_t logical) {
    return logical / kPageData * kPageBytes + logical % kPageData;
}

// Logical bytes into pages: each page's 1020 data bytes are followed by their
// CRC-32C (most significant byte first); the last page is filled with zeros.
class PagedWriter {
public:
    explicit PagedWriter(std::FILE* out) : out_(out), buffer_(kPagesPerWrite * kPageBytes) {}

    void Write(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const char*>(data);
        while (size > 0) {
            const std::size_t part = std::min<std::size_t>(size, kPageData - inPage_);
            std::memcpy(Page() + inPage_, bytes, part);
            inPage_ += part;
            bytes += part;
            size -= part;
            if (inPage_ == kPageData) ClosePage();
        }
    }
    void Finish() {
        if (inPage_ > 0) {
            std::memset(Page() + inPage_, 0, kPageData - inPage_);
            ClosePage();
        }
        WriteAll(out_, buffer_.data(), pages_ * kPageBytes);
        pages_ = 0;
    }

private:
    static constexpr std::size_t kPagesPerWrite = 1024;
    char* Page() { return buffer_.data() + pages_ * kPageBytes; }
    void ClosePage() {
        const std::uint32_t crc = Crc32c(Page(), kPageData);
        char* end = Page() + kPageData;
        for (int i = 0; i < 4; ++i) end[i] = static_cast<char>((crc >> (24 - 8 * i)) & 0xFFu);
        inPage_ = 0;
        if (++pages_ == kPagesPerWrite) {
            WriteAll(out_, buffer_.data(), pages_ * kPageBytes);
            pages_ = 0;
        }
    }

    std::FILE* out_;
    std::vector<char> buffer_;
    std::size_t pages_ = 0;
    std::size_t inPage_ = 0;
};

// Bytes are gathered in strings: the value as it lies, little-endian
// (export/point_fields.hpp).
template <typename Value>
void Put(std::string& out, Value value) {
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out.append(bytes, sizeof value);
}

// Bits of an integer field of values 0..maximum; at least one, so that no
// field's bytestream is empty.
int BitsFor(std::uint32_t maximum) { return std::max(1, static_cast<int>(std::bit_width(maximum))); }

std::uint64_t PackedBytes(std::size_t count, int bits) {
    return (static_cast<std::uint64_t>(count) * static_cast<std::uint64_t>(bits) + 7) / 8;
}

// Values of `bits` bits each, one after the other from the least significant
// bit of the first byte on.
void PackBits(std::string& out, const std::vector<std::uint32_t>& values, int bits) {
    std::uint64_t held = 0;
    int heldBits = 0;
    for (const std::uint32_t value : values) {
        held |= static_cast<std::uint64_t>(value) << heldBits;
        heldBits += bits;
        while (heldBits >= 8) {
            out += static_cast<char>(held & 0xFFu);
            held >>= 8;
            heldBits -= 8;
        }
    }
    if (heldBits > 0) out += static_cast<char>(held & 0xFFu);
}

struct Record {
    float x, y, z, intensity;
    std::uint32_t row, column;
    std::uint8_t invalid;
};

// The data packets: records gathered a packet at a time.
class PacketWriter {
public:
    PacketWriter(PagedWriter& pages, int rowBits, int columnBits)
        : pages_(pages), bits_{rowBits, columnBits, 2} {}

    // The bytes of a packet of `count` records.
    static std::uint64_t PacketBytes(std::size_t count, int rowBits, int columnBits) {
        const std::uint64_t bytes = kPacketHeaderBytes + 4 * 4 * static_cast<std::uint64_t>(count) +
                                    PackedBytes(count, rowBits) + PackedBytes(count, columnBits) +
                                    PackedBytes(count, 2);
        return (bytes + 3) / 4 * 4;
    }

    void Add(const Record& record) {
        for (std::size_t i = 0; i < 4; ++i) {
            const float value = i == 0 ? record.x : i == 1 ? record.y : i == 2 ? record.z : record.intensity;
            floats_[i].push_back(value);
        }
        integers_[0].push_back(record.row);
        integers_[1].push_back(record.column);
        integers_[2].push_back(record.invalid);
        if (integers_[0].size() == kRecordsPerPacket) Emit();
    }
    void Finish() {
        if (!integers_[0].empty()) Emit();
    }

private:
    void Emit() {
        const std::size_t count = integers_[0].size();
        std::array<std::string, 3> packed;
        for (std::size_t i = 0; i < packed.size(); ++i) PackBits(packed[i], integers_[i], bits_[i]);
        const std::uint64_t length = PacketBytes(count, bits_[0], bits_[1]);
        packet_.clear();
        Put<std::uint8_t>(packet_, 1);  // data packet
        Put<std::uint8_t>(packet_, 0);  // flags
        Put(packet_, static_cast<std::uint16_t>(length - 1));
        Put(packet_, static_cast<std::uint16_t>(kStreams));
        for (std::size_t i = 0; i < 4; ++i) Put(packet_, static_cast<std::uint16_t>(4 * count));
        for (const std::string& stream : packed) Put(packet_, static_cast<std::uint16_t>(stream.size()));
        for (const std::vector<float>& stream : floats_)
            Put(packet_, stream.data(), stream.size() * sizeof(float));
        for (const std::string& stream : packed) packet_ += stream;
        packet_.resize(length, '\0');
        pages_.Write(packet_.data(), packet_.size());
        for (std::vector<float>& stream : floats_) stream.clear();
        for (std::vector<std::uint32_t>& stream : integers_) stream.clear();
    }
    static void Put(std::string& out, const void* data, std::size_t size) {
        out.append(static_cast<const char*>(data), size);
    }
    template <typename Value>
    static void Put(std::string& out, Value value) {
        exporter::Put(out, value);
    }

    PagedWriter& pages_;
    std::array<int, 3> bits_;
    std::array<std::vector<float>, 4> floats_;
    std::array<std::vector<std::uint32_t>, 3> integers_;
    std::string packet_;
};

// --- the XML section ---------------------------------------------------------

// Text for an XML element: valid UTF-8 as it is, with &, < and > escaped;
// control bytes and bytes that are not UTF-8 as '?'.
std::string XmlText(const std::string& text) {
    std::string xml;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
        bool valid = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) valid = (static_cast<unsigned char>(text[i + k]) >> 6) == 0x2;
        if (valid && length > 1) {
            // No overlong forms, surrogates or values beyond U+10FFFF.
            std::uint32_t code = byte & (0x7Fu >> length);
            for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
            constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
            valid = code >= kLeast[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        }
        if (!valid || byte < 0x20 || byte == 0x7F) {
            xml += '?';
            ++i;
            continue;
        }
        if (byte == '&') xml += "&amp;";
        else if (byte == '<') xml += "&lt;";
        else if (byte == '>') xml += "&gt;";
        else xml.append(text, i, length);
        i += length;
    }
    return xml;
}

std::string Number(double value) {
    char text[32];
    if (value == 0.0) value = 0.0;  // no "-0"
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}
std::string Number(float value) {
    char text[32];
    if (value == 0.0f) value = 0.0f;
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string Element(const std::string& name, const std::string& type, const std::string& value) {
    return "<" + name + " type=\"" + type + "\">" + value + "</" + name + ">\n";
}
std::string FloatElement(const std::string& name, double value) { return Element(name, "Float", Number(value)); }
std::string IntegerElement(const std::string& name, long long value) {
    return Element(name, "Integer", std::to_string(value));
}
std::string StringElement(const std::string& name, const std::string& value) {
    return Element(name, "String", XmlText(value));
}

// A GUID of 16 bytes of a digest, marked as of no registered version.
std::string Guid(const std::string& hexDigest) {
    std::string hex = hexDigest.substr(0, 32);
    hex[12] = '8';                                                // version: vendor-specific
    hex[16] = "89ab"[std::stoi(hex.substr(16, 1), nullptr, 16) & 3];  // variant 10
    std::string guid = "{";
    for (std::size_t i = 0; i < hex.size(); ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20) guid += '-';
        guid += static_cast<char>(std::toupper(static_cast<unsigned char>(hex[i])));
    }
    return guid + "}";
}

std::string DerivedGuid(const std::string& tableDigest, const std::string& what) {
    const std::string seed = "velscan-export E57 " + what + " of the table " + tableDigest;
    return Guid(platform::Sha256Hex(std::as_bytes(std::span(seed.data(), seed.size()))));
}

// Seconds of GPS time (from 1980-01-06 00:00:00 UTC, leap seconds counted) of
// a metadata time "2026-12-09T07:30:00.123Z"; nullopt for other text.
std::optional<double> GpsSeconds(const std::string& utc) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0.0;
    const auto number = [&utc](std::size_t at, std::size_t digits, int& value) {
        const char* begin = utc.data() + at;
        const auto [end, error] = std::from_chars(begin, begin + digits, value);
        return error == std::errc() && end == begin + digits;
    };
    if (utc.size() < 20 || utc.back() != 'Z' || utc[4] != '-' || utc[7] != '-' || utc[10] != 'T' ||
        utc[13] != ':' || utc[16] != ':' || !number(0, 4, year) || !number(5, 2, month) || !number(8, 2, day) ||
        !number(11, 2, hour) || !number(14, 2, minute))
        return std::nullopt;
    const char* secondsBegin = utc.data() + 17;
    const char* secondsEnd = utc.data() + utc.size() - 1;
    const auto [end, error] = std::from_chars(secondsBegin, secondsEnd, second, std::chars_format::fixed);
    if (error != std::errc() || end != secondsEnd || month < 1 || month > 12 || day < 1 || day > 31 ||
        hour > 23 || minute > 59 || !(second >= 0.0 && second < 61.0) || year < 1980)
        return std::nullopt;
    // Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = y / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long days = era * 146097LL + yearOfEra * 365LL + yearOfEra / 4 - yearOfEra / 100 + dayOfYear - 719468;
    const double unixSeconds = static_cast<double>(days * 86400LL + hour * 3600LL + minute * 60LL) + second;
    // The days (since 1970-01-01) from which GPS time is one more second ahead of UTC.
    static constexpr int kLeapDays[] = {4199, 4564, 4929, 5660, 6574, 7305, 7670, 8217, 8582,
                                        8947, 9496, 10043, 10592, 13149, 14245, 15522, 16617, 17167};
    int leap = 0;
    for (const int leapDay : kLeapDays) leap += days >= leapDay ? 1 : 0;
    constexpr double kGpsEpochUnixSeconds = 315964800.0;
    return unixSeconds - kGpsEpochUnixSeconds + leap;
}

std::string DateTime(const std::string& name, const std::optional<std::string>& utc) {
    const std::optional<double> seconds = utc ? GpsSeconds(*utc) : std::nullopt;
    if (!seconds) return {};
    return "<" + name + " type=\"Structure\">\n" + FloatElement("dateTimeValue", *seconds) +
           IntegerElement("isAtomicClockReferenced", 0) + "</" + name + ">\n";
}

// What the records hold, gathered before they are written: the XML and the
// file header come first in the file and say how long the rest is.
struct ScanSummary {
    std::size_t points = 0;      // records with a position
    std::size_t emptyCells = 0;  // invalid records
    std::array<float, 3> low{}, high{};
    float intensityLow = 0.0f, intensityHigh = 255.0f;
    std::optional<std::array<float, 2>> temperature;  // of every row, degrees Fahrenheit
    std::size_t Records() const { return points + emptyCells; }
};

float Metres(double value, double scale) { return static_cast<float>(value * scale); }

ScanSummary Summarise(const ExportJob& job, double scale) {
    ScanSummary summary;
    const ScanGrid& grid = job.Grid();
    bool first = true;
    job.Points().ForEach([&](const ScanPoint& point) {
        const std::size_t row = static_cast<std::size_t>(point.line) * kSamplesPerLine + static_cast<std::size_t>(point.sample);
        if (grid.CellOfRow(row) < 0) return;
        const std::array<float, 3> position{Metres(point.x, scale), Metres(point.y, scale), Metres(point.z, scale)};
        for (std::size_t i = 0; i < 3; ++i) {
            summary.low[i] = first ? position[i] : std::min(summary.low[i], position[i]);
            summary.high[i] = first ? position[i] : std::max(summary.high[i], position[i]);
        }
        summary.intensityLow = std::min(summary.intensityLow, point.amplitude);
        summary.intensityHigh = std::max(summary.intensityHigh, point.amplitude);
        first = false;
        ++summary.points;
    });
    for (int y = 0; y < grid.Height(); ++y)
        for (int x = 0; x < grid.Width(); ++x) summary.emptyCells += grid.RowAt(x, y) == ScanGrid::kNoReturn ? 1 : 0;
    const std::vector<float>& temperature = job.Table().temperature;
    if (!temperature.empty()) {
        const auto [low, high] = std::minmax_element(temperature.begin(), temperature.end());
        summary.temperature = std::array<float, 2>{*low, *high};
    }
    return summary;
}

std::string FloatField(const std::string& name, float low, float high) {
    return "<" + name + " type=\"Float\" precision=\"single\" minimum=\"" + Number(low) + "\" maximum=\"" +
           Number(high) + "\"/>\n";
}
std::string IntegerField(const std::string& name, std::uint32_t maximum) {
    return "<" + name + " type=\"Integer\" minimum=\"0\" maximum=\"" + std::to_string(maximum) + "\"/>\n";
}

std::string Xml(const ExportJob& job, const ScanSummary& summary, double scale, std::uint64_t sectionOffset,
                std::uint32_t rowMaximum, std::uint32_t columnMaximum) {
    const ScanGrid& grid = job.Grid();
    const ScanPose& pose = job.Pose();
    const std::optional<ScanFacts>& facts = job.Record().metadata;
    std::string description = "velscan-export of " + job.Source() +
                              "; intensity: the amplitude; invalid records: the grid's cells without a return";
    if (summary.temperature)
        description += "; range finder temperature " + Number(summary.temperature->at(0)) + " to " +
                       Number(summary.temperature->at(1)) + " degrees F";

    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<e57Root type=\"Structure\" xmlns=\"http://www.astm.org/COMMIT/E57/2010-e57-v1.0\">\n";
    xml += StringElement("formatName", "ASTM E57 3D Imaging Data File");
    xml += StringElement("guid", DerivedGuid(job.TableDigest(), "file"));
    xml += IntegerElement("versionMajor", 1) + IntegerElement("versionMinor", 0);
    xml += StringElement("e57LibraryVersion", std::string("velscan-export ") + ProgramVersion());
    xml += StringElement("coordinateMetadata", "");
    xml += "<data3D type=\"Vector\" allowHeterogeneousChildren=\"1\">\n<vectorChild type=\"Structure\">\n";
    xml += StringElement("guid", DerivedGuid(job.TableDigest(), "scan"));
    xml += StringElement("name", job.Source());
    xml += StringElement("description", description);
    if (facts && !facts->programVersion.empty())
        xml += StringElement("sensorSoftwareVersion", facts->programName + " " + facts->programVersion);
    if (facts) xml += DateTime("acquisitionStart", facts->startTime) + DateTime("acquisitionEnd", facts->endTime);
    xml += "<pose type=\"Structure\">\n<rotation type=\"Structure\">\n";
    xml += FloatElement("w", pose.orientation[0]) + FloatElement("x", pose.orientation[1]) +
           FloatElement("y", pose.orientation[2]) + FloatElement("z", pose.orientation[3]);
    xml += "</rotation>\n<translation type=\"Structure\">\n";
    xml += FloatElement("x", pose.position[0] * scale) + FloatElement("y", pose.position[1] * scale) +
           FloatElement("z", pose.position[2] * scale);
    xml += "</translation>\n</pose>\n<indexBounds type=\"Structure\">\n";
    xml += IntegerElement("rowMinimum", 0) + IntegerElement("rowMaximum", grid.Height() - 1) +
           IntegerElement("columnMinimum", 0) + IntegerElement("columnMaximum", grid.Width() - 1) +
           IntegerElement("returnMinimum", 0) + IntegerElement("returnMaximum", 0);
    xml += "</indexBounds>\n<intensityLimits type=\"Structure\">\n";
    xml += FloatElement("intensityMinimum", summary.intensityLow) +
           FloatElement("intensityMaximum", summary.intensityHigh);
    xml += "</intensityLimits>\n";
    if (summary.points > 0) {
        xml += "<cartesianBounds type=\"Structure\">\n";
        static constexpr const char* kAxes[] = {"x", "y", "z"};
        for (std::size_t i = 0; i < 3; ++i)
            xml += FloatElement(std::string(kAxes[i]) + "Minimum", summary.low[i]) +
                   FloatElement(std::string(kAxes[i]) + "Maximum", summary.high[i]);
        xml += "</cartesianBounds>\n";
    }
    xml += "<points type=\"CompressedVector\" fileOffset=\"" + std::to_string(PhysicalOffset(sectionOffset)) +
           "\" recordCount=\"" + std::to_string(summary.Records()) + "\">\n<prototype type=\"Structure\">\n";
    // Invalid records sit at 0, inside the limits too.
    static constexpr const char* kCoordinates[] = {"cartesianX", "cartesianY", "cartesianZ"};
    for (std::size_t i = 0; i < 3; ++i)
        xml += FloatField(kCoordinates[i], std::min(summary.low[i], 0.0f), std::max(summary.high[i], 0.0f));
    xml += FloatField("intensity", summary.intensityLow, summary.intensityHigh);
    xml += IntegerField("rowIndex", rowMaximum) + IntegerField("columnIndex", columnMaximum) +
           IntegerField("cartesianInvalidState", kInvalidCell);
    xml += "</prototype>\n<codecs type=\"Vector\" allowHeterogeneousChildren=\"1\"/>\n</points>\n";
    xml += "</vectorChild>\n</data3D>\n<images2D type=\"Vector\" allowHeterogeneousChildren=\"1\"/>\n</e57Root>\n";
    return xml;
}

void WriteE57(std::FILE* out, const ExportJob& job) {
    const double scale = job.Points().Unit() == LengthUnit::kInches ? kMetresPerInch : 1.0;
    const ScanGrid& grid = job.Grid();
    const ScanSummary summary = Summarise(job, scale);
    // The fields' limits: at least 0..1, so that no field packs into no bits.
    const auto rowMaximum = static_cast<std::uint32_t>(std::max(grid.Height() - 1, 1));
    const auto columnMaximum = static_cast<std::uint32_t>(std::max(grid.Width() - 1, 1));
    const int rowBits = BitsFor(rowMaximum);
    const int columnBits = BitsFor(columnMaximum);

    const std::size_t records = summary.Records();
    const std::size_t fullPackets = records / kRecordsPerPacket;
    const std::size_t lastPacket = records % kRecordsPerPacket;
    const std::uint64_t sectionLength =
        kSectionHeaderBytes + fullPackets * PacketWriter::PacketBytes(kRecordsPerPacket, rowBits, columnBits) +
        (lastPacket > 0 ? PacketWriter::PacketBytes(lastPacket, rowBits, columnBits) : 0);
    const std::uint64_t sectionOffset = kFileHeaderBytes;
    const std::uint64_t xmlOffset = sectionOffset + sectionLength;
    const std::string xml = Xml(job, summary, scale, sectionOffset, rowMaximum, columnMaximum);
    const std::uint64_t logicalLength = xmlOffset + xml.size();
    const std::uint64_t pages = (logicalLength + kPageData - 1) / kPageData;

    PagedWriter pages_(out);
    std::string header;
    header = "ASTM-E57";
    Put<std::uint32_t>(header, 1);  // major version
    Put<std::uint32_t>(header, 0);  // minor version
    Put<std::uint64_t>(header, pages * kPageBytes);
    Put<std::uint64_t>(header, PhysicalOffset(xmlOffset));
    Put<std::uint64_t>(header, xml.size());
    Put<std::uint64_t>(header, kPageBytes);
    Put<std::uint8_t>(header, 1);  // compressed-vector section
    header.append(7, '\0');
    Put<std::uint64_t>(header, sectionLength);
    Put<std::uint64_t>(header, PhysicalOffset(sectionOffset + kSectionHeaderBytes));  // the first data packet
    Put<std::uint64_t>(header, 0);  // no index packet: it is optional, and readers read the packets in order
    pages_.Write(header.data(), header.size());

    PacketWriter packets(pages_, rowBits, columnBits);
    const int width = grid.Width();
    job.Points().ForEach([&](const ScanPoint& point) {
        const std::size_t row = static_cast<std::size_t>(point.line) * kSamplesPerLine + static_cast<std::size_t>(point.sample);
        const int cell = grid.CellOfRow(row);
        if (cell < 0) return;
        packets.Add(Record{Metres(point.x, scale), Metres(point.y, scale), Metres(point.z, scale), point.amplitude,
                           static_cast<std::uint32_t>(cell / width), static_cast<std::uint32_t>(cell % width), 0});
    });
    for (int y = 0; y < grid.Height(); ++y)
        for (int x = 0; x < width; ++x)
            if (grid.RowAt(x, y) == ScanGrid::kNoReturn)
                packets.Add(Record{0.0f, 0.0f, 0.0f, 0.0f, static_cast<std::uint32_t>(y), static_cast<std::uint32_t>(x),
                                   kInvalidCell});
    packets.Finish();
    pages_.Write(xml.data(), xml.size());
    pages_.Finish();
}

}  // namespace

extern const ExportFormat kE57Format;
const ExportFormat kE57Format{"--e57", ".e57",
                              "  --e57 PATH            the scan as one structured E57 scan: metres, the grid's\n"
                              "                        rows and columns, cells without return marked invalid\n",
                              WriteE57};

}  // namespace velscan::exporter
