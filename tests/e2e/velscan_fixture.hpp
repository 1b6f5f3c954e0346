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
#include <sstream>
#include <string>
#include <vector>

#include "program_run.hpp"
#include "run_transcript.hpp"

namespace velscan::e2e {

using transcript::Finished;
using transcript::kHeader;
using transcript::kUpToSampling;
using transcript::Saved;

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

// What the program did at the hardware seam, read from its VELSCAN_TRACE file.
struct SeamTrace {
    std::vector<std::string> serialWrites;  // escaped as in the trace ("S20\\n")
    std::vector<std::string> serialCalls;   // every serial line, without "serial "
    std::vector<unsigned> motorRegister;    // values written to card register 3, in order
    bool serialOpened = false;
    bool serialClosed = false;
    bool cardOpened = false;
    bool cardClosed = false;
    bool linkClosedBeforeBoard = false;

    // The motor was started at some point and its last command stopped it.
    bool MotorStopped() const { return !motorRegister.empty() && motorRegister.back() == 0; }
};

inline SeamTrace ReadSeamTrace(const std::filesystem::path& path) {
    SeamTrace trace;
    std::istringstream lines(ReadFile(path));
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("serial open ") && !line.starts_with("serial open failed"))
            trace.serialOpened = true;
        if (line.starts_with("serial ")) trace.serialCalls.push_back(line.substr(7));
        if (line.starts_with("serial write ")) trace.serialWrites.push_back(line.substr(13));
        if (line == "serial close") trace.serialClosed = true;
        if (line == "card open") trace.cardOpened = true;
        if (line == "card close") {
            trace.cardClosed = true;
            trace.linkClosedBeforeBoard = trace.serialClosed;
        }
        // Register write: register then value, each a little-endian 16-bit word.
        const std::string motor = "card control 9c40202c 0300";
        if (line.starts_with(motor) && line.ends_with(" ok")) {
            const std::string value = line.substr(motor.size(), 4);
            trace.motorRegister.push_back(std::stoul(value.substr(2, 2) + value.substr(0, 2),
                                                     nullptr, 16));
        }
    }
    return trace;
}

class VelscanFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(VELSCAN_LOOKUP_FILE, work_.Path() / "LOOKUPHS");
    }

    ProgramResult Velscan(std::vector<std::string> arguments,
                          std::map<std::string, std::string> environment = {},
                          std::optional<std::string> input = std::nullopt,
                          std::optional<long> fileSizeLimit = std::nullopt) {
        ProgramRun run = MakeRun(std::move(arguments), std::move(environment), std::move(input));
        run.fileSizeLimit = fileSizeLimit;
        return Execute(VELSCAN_BINARY, run);
    }
    std::unique_ptr<RunningProgram> Start(std::vector<std::string> arguments,
                                          std::map<std::string, std::string> environment = {}) {
        return std::make_unique<RunningProgram>(
            VELSCAN_BINARY, MakeRun(std::move(arguments), std::move(environment), std::nullopt));
    }

    std::filesystem::path Work() const { return work_.Path(); }
    // The seam trace of the last run that reached the seam.
    SeamTrace Trace() const { return ReadSeamTrace(TracePath()); }
    std::filesystem::path TracePath() const { return trace_.Path() / "trace"; }
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
        run.environment = {{"VELSCAN_SIM", "1"},
                           {"VELSCAN_CLOCK", "virtual"},
                           {"VELSCAN_TRACE", TracePath().string()}};
        for (auto& [name, value] : environment) run.environment[name] = value;
        run.input = std::move(input);
        run.workingDirectory = work_.Path();
        return run;
    }

    ScratchDirectory work_{"work"};
    ScratchDirectory trace_{"trace"};
};

}  // namespace velscan::e2e
