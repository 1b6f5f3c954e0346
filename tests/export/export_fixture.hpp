#pragma once
// Tables made by the built velscan on the simulated instrument in virtual time.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "program_run.hpp"

namespace velscan::exporter {

// A scratch folder for the export program's black-box tests: files written
// into it, read back, and listed by name.
class ExportFolder : public ::testing::Test {
protected:
    explicit ExportFolder(const std::string& tag) : dir_(tag) {}
    void Write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir_.Path() / name, std::ios::binary) << bytes;
    }
    std::string Read(const std::string& name) const { return e2e::ReadFile(dir_.Path() / name); }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.Path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    e2e::ScratchDirectory dir_;
};

// Runs velscan in `directory` (with the example lookup file) and returns the
// path of the table it wrote.
inline std::string SimulatedTable(const std::filesystem::path& directory, const std::string& name,
                                  const std::vector<std::string>& options,
                                  std::map<std::string, std::string> environment) {
    std::filesystem::copy_file(VELSCAN_LOOKUP_FILE, directory / "LOOKUPHS",
                               std::filesystem::copy_options::overwrite_existing);
    environment.emplace("VELSCAN_SIM", "1");
    environment.emplace("VELSCAN_CLOCK", "virtual");
    // Only the table is exported: no capture beside it.
    environment.emplace("VELSCAN_CAPTURE", "off");
    std::vector<std::string> arguments{name};
    for (const std::string& option : options) arguments.push_back(option);
    const e2e::ProgramResult result =
        e2e::Execute(VELSCAN_BINARY, {arguments, environment, std::nullopt, directory, std::nullopt});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    // The run's metadata file goes: each test chooses whether a table has one.
    std::filesystem::remove(directory / (name + ".json"));
    return (directory / name).string();
}

}  // namespace velscan::exporter
