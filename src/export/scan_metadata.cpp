#include "export/scan_metadata.hpp"

#include "conversion/printable_text.hpp"

namespace velscan::exporter {

TableMetadata ReadMetadataBeside(const std::string& tablePath) {
    const std::string name = MetadataFileName(tablePath);
    MetadataReading reading = ReadMetadataFile(name);
    if (!reading.problem.empty())
        return {std::nullopt,
                "Warning: " + PrintableText(name) + " " + reading.problem + "; the table is exported without it",
                {}};
    if (!reading.facts) return {};
    return {std::move(reading.facts), {}, std::move(reading.text)};
}

std::string StaleTableWarning(const std::string& tablePath, const std::string& tableSha256,
                              const ScanFacts& metadata) {
    if (!metadata.table || metadata.table->sha256 == tableSha256) return {};
    return "Warning: the SHA-256 of " + PrintableText(tablePath) + " is not the one its metadata file " +
           PrintableText(MetadataFileName(tablePath)) + " records; the table was changed since the scan";
}

std::vector<LineFigures> LineFiguresOfTable(const ScanFacts& metadata, std::size_t rows,
                                            const std::string& tableSha256) {
    if (!metadata.lineFigures || !metadata.table || metadata.table->sha256 != tableSha256) return {};
    const std::vector<LineFigures>& figures = *metadata.lineFigures;
    if (rows % kSamplesPerLine != 0 || figures.size() != rows / kSamplesPerLine) return {};
    return figures;
}

std::string MetadataTitle(const ScanFacts& metadata) {
    std::string title;
    const auto add = [&title](const std::string& part) {
        if (!title.empty()) title.append(", ");
        title.append(part);
    };
    // "2026-12-09T07:30:00.123Z" to "2026-12-09 07:30 UTC".
    const std::optional<std::string>& start = metadata.startTime;
    if (start && start->size() >= 16)
        add(PrintableText(start->substr(0, 10)) + " " + PrintableText(start->substr(11, 5)) + " UTC");
    std::string settings;
    const auto setting = [&settings](const char* option, const std::optional<std::int32_t>& value) {
        if (!value) return;
        if (!settings.empty()) settings.append(" ");
        settings.append(option).append(" ").append(std::to_string(*value));
    };
    if (metadata.settings) {
        setting("-s", metadata.settings->samplePeriod);
        setting("-r", metadata.settings->maxRange);
        setting("-p", metadata.settings->motorPower);
    }
    if (!settings.empty()) add(settings);
    if (metadata.linesRecorded)
        add(std::to_string(*metadata.linesRecorded) +
            (metadata.linesAsked ? " of " + std::to_string(*metadata.linesAsked) : std::string()) + " lines");
    if (!metadata.linesWithLostSamples.empty()) {
        std::string lost = metadata.linesWithLostSamples.size() == 1 ? "lost samples in line" : "lost samples in lines";
        for (std::size_t i = 0; i < metadata.linesWithLostSamples.size(); ++i)
            lost.append(i == 0 ? " " : ", ").append(std::to_string(metadata.linesWithLostSamples[i]));
        add(lost);
    }
    return title;
}

}  // namespace velscan::exporter
