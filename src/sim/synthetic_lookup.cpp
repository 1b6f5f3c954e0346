#include "sim/synthetic_lookup.hpp"

#include <array>
#include <cmath>
#include <cstdio>

namespace velscan::sim {

namespace {

constexpr std::array<double, 9> kCoefficients{0.75,   -1.5,  0.125, 0.5, 0.0002,
                                              0.004, 0.001, 0.02,  0.4};

double ColumnDistance(int column) { return column * kSyntheticColumnSpacing; }

double ColumnTemperature(int column) {
    return 69.6 + 0.025 * column - 0.0003 * column * column;
}

void Append(std::string& text, const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    text += buffer;
}

}  // namespace

double SyntheticRawRange(double distance, int amplitude) {
    const double lastColumn = ColumnDistance(kSyntheticColumns - 1);
    const double bow = 0.00002 * distance * (distance - lastColumn / 2.0) * (distance - lastColumn);
    const double weakness = 1.0 - amplitude / 255.0;
    const double walk = (40.0 + 2600.0 * weakness * weakness) * (1.0 + distance / 2000.0);
    return kSyntheticZeroDelay + kSyntheticBitsPerInch * distance + bow + walk;
}

std::string SyntheticLookupText() {
    std::string text;
    for (int j = 0; j < kSyntheticColumns; ++j) {
        if (j > 0) text += ' ';
        Append(text, "%.2f", ColumnDistance(j));
    }
    text += '\n';
    for (int j = 0; j < kSyntheticColumns; ++j) {
        if (j > 0) text += ' ';
        Append(text, "%.2f", ColumnTemperature(j));
    }
    text += '\n';
    for (std::size_t i = 0; i < kCoefficients.size(); ++i) {
        if (i > 0) text += ' ';
        Append(text, "%g", kCoefficients[i]);
    }
    text += '\n';
    for (int amplitude = 0; amplitude < 256; ++amplitude) {
        for (int j = 0; j < kSyntheticColumns; ++j) {
            if (j > 0) text += ' ';
            Append(text, "%.0f", std::round(SyntheticRawRange(ColumnDistance(j), amplitude)));
        }
        text += '\n';
    }
    Append(text, "%.2f", kSyntheticSampleRateOffset);
    text += '\n';
    return text;
}

}  // namespace velscan::sim
