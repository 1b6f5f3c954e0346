#include "sim/lookup_source.hpp"

#include "conversion/lookup_table.hpp"
#include "sim/synthetic_lookup.hpp"

namespace velscan::sim {

std::shared_ptr<const RawSynthesis> SynthesisFromText(std::string_view text) {
    auto table = std::make_shared<LookupTable>();
    double offset = 0.0;
    if (ParseLookupText(text, *table, offset, nullptr) == 0) return nullptr;
    return std::make_shared<RawSynthesis>(std::move(table), offset);
}

std::shared_ptr<const RawSynthesis> SynthesisFromFile(const std::string& path) {
    auto table = std::make_shared<LookupTable>();
    double offset = 0.0;
    if (LoadLookupFile(path, *table, offset, nullptr) == 0) return nullptr;
    return std::make_shared<RawSynthesis>(std::move(table), offset);
}

std::shared_ptr<const RawSynthesis> BuiltInSynthesis() {
    static const std::shared_ptr<const RawSynthesis> synthesis =
        SynthesisFromText(SyntheticLookupText());
    return synthesis;
}

std::shared_ptr<const RawSynthesis> WorkingDirectorySynthesis() {
    if (auto synthesis = SynthesisFromFile(kLookupFileName)) return synthesis;
    return BuiltInSynthesis();
}

}  // namespace velscan::sim
