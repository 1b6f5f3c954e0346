// The table of formats. Each format's file defines its entry.
#include "export/export_format.hpp"

namespace velscan::exporter {

extern const ExportFormat kRangePngFormat;
extern const ExportFormat kAmplitudePngFormat;
extern const ExportFormat kPlyFormat;
extern const ExportFormat kPtxFormat;
extern const ExportFormat kPcdFormat;
extern const ExportFormat kE57Format;
extern const ExportFormat kNpzFormat;
extern const ExportFormat kHtmlFormat;

std::span<const ExportFormat* const> ExportFormats() {
    static const ExportFormat* const formats[] = {&kRangePngFormat, &kAmplitudePngFormat, &kPlyFormat,
                                                  &kPtxFormat, &kPcdFormat, &kE57Format, &kNpzFormat,
                                                  &kHtmlFormat};
    return formats;
}

const ExportFormat* FormatOfOption(std::string_view option) {
    for (const ExportFormat* format : ExportFormats())
        if (format->option == option) return format;
    return nullptr;
}

}  // namespace velscan::exporter
