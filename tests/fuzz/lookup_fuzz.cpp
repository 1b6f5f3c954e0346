// Fuzz entry point for the lookup file loader: any bytes are parsed as a
// lookup file, then the distance computation runs on whatever was loaded.
// Checked: the result and offset stay within their documented values, and
// the line conversion's row search stops where the step by step search does.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <string_view>
#include <vector>

#include "conversion/distance.hpp"
#include "conversion/lookup_table.hpp"
#include "conversion/row_search.hpp"

namespace {

using namespace velscan;

void Require(bool condition) {
    if (!condition) std::abort();
}

void CheckSearches(const LookupTable& table, std::uint32_t amplitude, double offset) {
    const RangeRow& row = table.rangeTable[amplitude];
    RisingPrefixes prefixes(table);
    std::vector<double> probes = {-1.0, 0.0, 0.5, 1.0, 1500.0, 1e9,
                                  std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::infinity()};
    for (float entry : row) {
        probes.push_back(entry);
        probes.push_back(std::nextafter(static_cast<double>(entry), 1e300));
        probes.push_back(std::nextafter(static_cast<double>(entry), -1e300));
    }
    for (double e : probes) {
        Require(SearchRowWithPrefix(row, e, prefixes.Of(amplitude)) == SearchRow(row, e));
    }
    for (std::uint32_t raw : {0u, 1u, 1500u, 100000u, 0xFFFFFFFFu}) {
        for (std::int32_t count : {0, 1, 16, 128}) {
            const double distance =
                ComputeDistance(table, raw, amplitude | (100u << 16), count, offset);
            static_cast<void>(distance);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static LookupTable table;
    double offset = -1.0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const int result = ParseLookupText(text, table, offset, nullptr);
    Require(result == 0 || result == 1);
    Require(offset >= -kMaxSampleRateOffset && offset <= kMaxSampleRateOffset);
    if (result == 0) Require(offset == 0.0);
    for (std::uint32_t amplitude : {0u, 1u, 255u}) CheckSearches(table, amplitude, offset);
    return 0;
}
