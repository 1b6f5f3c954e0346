// velscan_make_lookup: writes the synthetic lookup file (examples/LOOKUPHS) to
// the path given, or to standard output.

#include <cstdio>
#include <string>

#include "sim/synthetic_lookup.hpp"

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: velscan_make_lookup [output file]\n");
        return 2;
    }
    const std::string text = velscan::sim::SyntheticLookupText();
    std::FILE* out = argc == 2 ? std::fopen(argv[1], "wb") : stdout;
    if (out == nullptr) {
        std::fprintf(stderr, "velscan_make_lookup: cannot create %s\n", argv[1]);
        return 1;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    const bool closed = (out == stdout) ? std::fflush(out) == 0 : std::fclose(out) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "velscan_make_lookup: write failed\n");
        return 1;
    }
    return 0;
}
