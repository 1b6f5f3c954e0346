#include "conversion/row_search.hpp"

#include <bit>
#include <cmath>
#include <cstddef>
#include <limits>

namespace velscan {

namespace {

double At(const RangeRow& row, int position) {
    return row[static_cast<std::size_t>(position)];
}

// The search step by step from `start`, as if the entries before it had been
// passed (`positiveSeen` telling whether one of them was positive).
int ScanFrom(const RangeRow& row, double e, int start, bool positiveSeen) {
    for (int k = start; k < kLookupColumns; ++k) {
        const double v = At(row, k);
        if (v >= e) return k;
        if (v > 0.0) {
            positiveSeen = true;
        } else if (positiveSeen) {
            return k - 1;
        }
    }
    // Position 63 reads 0.
    if (0.0 >= e) return kLookupColumns;
    return positiveSeen ? kLookupColumns - 1 : kNoStop;
}

// How many of the first `count` entries, all positive, lie below e. Positive
// floats order like their bit patterns read as integers, so each entry costs
// one integer comparison against the bits of the smallest float not below e;
// the loop has no branch on the data and vectorises.
int CountBelow(const RangeRow& row, int count, double e) {
    if (std::isnan(e)) return count;  // below nothing: every entry is passed
    if (!(e > 0.0)) return 0;
    std::int32_t threshold = 0;
    if (e > std::numeric_limits<float>::max()) {
        threshold = std::bit_cast<std::int32_t>(std::numeric_limits<float>::infinity());
    } else {
        const float nearest = static_cast<float>(e);
        threshold = std::bit_cast<std::int32_t>(nearest);
        if (static_cast<double>(nearest) < e) ++threshold;  // the next float up
    }
    int below = 0;
    for (int j = 0; j < count; ++j) {
        below += std::bit_cast<std::int32_t>(row[static_cast<std::size_t>(j)]) < threshold ? 1 : 0;
    }
    return below;
}

}  // namespace

int SearchRow(const RangeRow& row, double e) { return ScanFrom(row, e, 0, false); }

int RisingPrefix(const RangeRow& row) {
    int length = 0;
    double previous = 0.0;
    while (length < kLookupColumns) {
        const double v = At(row, length);
        if (!(v > 0.0) || v < previous) break;
        previous = v;
        ++length;
    }
    return length;
}

int SearchRowWithPrefix(const RangeRow& row, double e, int risingPrefix) {
    if (risingPrefix > 0) {
        // The prefix never falls, so the entries below e are the leading ones
        // and their count is the first column at or above e.
        const int first = CountBelow(row, risingPrefix, e);
        if (first < risingPrefix) return first;
    }
    // Every entry of the prefix was positive and below e.
    return ScanFrom(row, e, risingPrefix, risingPrefix > 0);
}

}  // namespace velscan
