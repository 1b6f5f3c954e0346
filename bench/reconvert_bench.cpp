// velscan-reconvert on a full capture: 20 calibration records and 200 lines
// of 5000 (1,000,020 records), recorded once by velscan on the simulated
// instrument, converted again into a table and its metadata file.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "reconvert/reconvert.hpp"

namespace {

namespace fs = std::filesystem;

fs::path Folder() {
    static const fs::path folder = [] {
        const fs::path made = fs::temp_directory_path() / "velscan-reconvert-bench";
        fs::create_directories(made);
        fs::copy_file(VELSCAN_LOOKUP_FILE, made / "LOOKUPHS", fs::copy_options::overwrite_existing);
        const std::string record = "cd '" + made.string() +
                                   "' && VELSCAN_SIM=1 VELSCAN_CLOCK=virtual VELSCAN_CAPTURE=cap.bin '" +
                                   VELSCAN_BINARY + "' scan.txt >/dev/null 2>&1";
        if (std::system(record.c_str()) != 0) std::abort();
        return made;
    }();
    return folder;
}

void BM_ReconvertFullCapture(benchmark::State& state) {
    const fs::path folder = Folder();
    velscan::reconvert::ReconvertOptions options;
    options.capture = (folder / "cap.bin").string();
    options.table = (folder / "again.txt").string();
    options.lookup = (folder / "LOOKUPHS").string();
    std::FILE* quiet = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        if (velscan::reconvert::Reconvert(options, {"velscan-reconvert"}, quiet, stderr) != 0)
            state.SkipWithError("the reconversion failed");
    }
    std::fclose(quiet);
    state.counters["records"] = static_cast<double>(fs::file_size(folder / "cap.bin") / 16);
}
BENCHMARK(BM_ReconvertFullCapture)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
