#pragma once
// The built program on the simulated instrument with the virtual clock, in a
// scratch working directory that holds a copy of the example lookup file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "program_run.hpp"

namespace velscan::e2e {

inline constexpr char kHeader[] =
    "Distance(inches)\tRaw Range(bits)\tAmplitude\tTemp(F)\tAngle1(radins)\tAngle2(radins\t"
    "Index1\tIndex2\t";

inline constexpr char kUpToSampling[] =
    "Opened high speed interface.\n"
    "VEAX Card Calibration\n"
    "SamplingModeInit\n"
    "Waiting (20 sec.) for mirror to move\n"
    "Clear Sample Buffer\n"
    "Sampling Enable\n"
    "Begin sampling\n";

inline std::string Finished(int counter, const std::string& warning = "") {
    return std::string(kUpToSampling) + "End sampling\nSampling Lines counter: " +
           std::to_string(counter) + "\n" + warning + "Saving Data,Please Waiting\n";
}

inline std::size_t Rows(const std::string& table) {
    return static_cast<std::size_t>(std::count(table.begin(), table.end(), '\n'));
}

// 64-bit FNV-1a: a stable digest of a table for golden comparisons.
inline std::uint64_t Digest(const std::string& bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const unsigned char byte : bytes) {
        hash ^= byte;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

class VelscanFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(VELSCAN_LOOKUP_FILE, work_.Path() / "LOOKUPHS");
    }

    ProgramResult Velscan(std::vector<std::string> arguments,
                          std::map<std::string, std::string> environment = {},
                          std::optional<std::string> input = std::nullopt) {
        return Execute(VELSCAN_BINARY, MakeRun(std::move(arguments), std::move(environment),
                                               std::move(input)));
    }
    std::unique_ptr<RunningProgram> Start(std::vector<std::string> arguments,
                                          std::map<std::string, std::string> environment = {}) {
        return std::make_unique<RunningProgram>(
            VELSCAN_BINARY, MakeRun(std::move(arguments), std::move(environment), std::nullopt));
    }

    std::filesystem::path Work() const { return work_.Path(); }
    std::string Table(const char* name = "scan.txt") const { return ReadFile(Work() / name); }
    // Names in the working directory other than the lookup file.
    std::vector<std::string> OtherFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(work_.Path()))
            if (entry.path().filename() != "LOOKUPHS")
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    ProgramRun MakeRun(std::vector<std::string> arguments,
                       std::map<std::string, std::string> environment,
                       std::optional<std::string> input) const {
        ProgramRun run;
        run.arguments = std::move(arguments);
        run.environment = {{"VELSCAN_SIM", "1"}, {"VELSCAN_CLOCK", "virtual"}};
        for (auto& [name, value] : environment) run.environment[name] = value;
        run.input = std::move(input);
        run.workingDirectory = work_.Path();
        return run;
    }

    ScratchDirectory work_{"work"};
};

}  // namespace velscan::e2e
