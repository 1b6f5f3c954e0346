#pragma once
// The bracket search of the distance computation over one row of the range
// table.

#include <array>
#include <cstdint>

#include "conversion/lookup_table.hpp"

namespace velscan {

using RangeRow = std::array<float, kLookupColumns>;

inline constexpr int kNoStop = -1;

// The column the search stops at: starting at column 0, the first entry at or
// above e, or the entry before the first non-positive entry that follows a
// positive one. Position 63 reads 0. kNoStop for a row without a positive
// entry when e > 0 (or e is not a number).
int SearchRow(const RangeRow& row, double e);

// The number of leading entries that are positive and never fall: within
// them the first entry at or above e is found by counting the entries below e.
int RisingPrefix(const RangeRow& row);

// SearchRow's result, found by counting within the row's rising prefix and
// step by step after it.
int SearchRowWithPrefix(const RangeRow& row, double e, int risingPrefix);

// Rising prefixes of the rows that a line of samples uses, measured once per
// row on first use.
class RisingPrefixes {
public:
    explicit RisingPrefixes(const LookupTable& table) : table_(table) { lengths_.fill(kUnknown); }

    int Of(std::uint32_t amplitude) {
        std::uint8_t& length = lengths_[amplitude];
        if (length == kUnknown) {
            length = static_cast<std::uint8_t>(RisingPrefix(table_.rangeTable[amplitude]));
        }
        return length;
    }

private:
    static constexpr std::uint8_t kUnknown = 0xFF;
    const LookupTable& table_;
    std::array<std::uint8_t, kLookupRows> lengths_{};
};

}  // namespace velscan
