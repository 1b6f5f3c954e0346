#include "acquisition/run_facts.hpp"

#include <algorithm>

#include "acquisition/backend_simulation.hpp"
#include "acquisition/exit_codes.hpp"
#include "scanfile/lookup_facts.hpp"
#include "scanfile/program_version.hpp"
#include "platform/digest/sha256.hpp"
#include "platform/serial_port_name.hpp"
#include "platform/system_facts.hpp"

namespace velscan {

namespace {

std::optional<std::string> Named(const std::string& text) {
    if (text.empty()) return std::nullopt;
    return text;
}

}  // namespace

MetadataBackendPart LaserFacts(const BackendPlan& plan, std::int32_t portNumber) {
    MetadataBackendPart part;
    switch (plan.laser) {
        case LaserChoice::Simulated: part.kind = "simulated"; break;
        case LaserChoice::NumberedPort:
            part.kind = "port";
            part.path = platform::SerialPortDeviceName(portNumber);
            break;
        case LaserChoice::Device:
            part.kind = "port";
            part.path = plan.laserDevice;
            break;
        case LaserChoice::Missing: part.kind = "port"; break;  // none named: null
    }
    return part;
}

MetadataBackendPart CardFacts(const BackendPlan& plan) {
    MetadataBackendPart part;
    switch (plan.card) {
        case CardChoice::Simulated:
            part.kind = "simulated";
            part.scene = Named(plan.simScene);
            part.seed = ParseSeed(plan.simSeed);
            break;
        case CardChoice::Replay:
            part.kind = "replay";
            part.path = plan.cardPath;
            part.sha256 = platform::Sha256HexOfFile(plan.cardPath);
            break;
        case CardChoice::Device:
            part.kind = "device";
            part.path = plan.cardPath;
            break;
        case CardChoice::Missing: part.kind = "device"; break;  // none named: null
    }
    return part;
}

void RecordRunStart(ScanFacts& facts, const RunSettings& settings, const BackendPlan& plan,
                    std::vector<std::string> commandLine) {
    facts.programName = "velscan";
    facts.programVersion = ProgramVersion();
    facts.system = platform::SystemDescription();
    facts.commandLine = std::move(commandLine);
    facts.settings = MetadataSettings{.outputFile = settings.outputFileName,
                                      .port = settings.portNumber,
                                      .board = settings.boardNumber,
                                      .samplePeriod = settings.samplePeriod,
                                      .lines = settings.lines,
                                      .maxRange = settings.maxRange,
                                      .motor = settings.motorNumber,
                                      .motorPower = settings.motorPower};
    facts.laser = LaserFacts(plan, settings.portNumber);
    facts.card = CardFacts(plan);
    facts.faults = Named(plan.simFaults);
    facts.clock = plan.clock == ClockChoice::Virtual ? "virtual" : "real";
    facts.linesAsked = settings.lines;
    if (plan.profile)
        facts.profile = MetadataProfile{.name = plan.profile->name,
                                        .sha256 = plan.profile->sha256,
                                        .mirrorOffset = plan.profile->mirrorOffset,
                                        .slowOffset = plan.profile->slowOffset};
    if (plan.pose) {
        facts.pose = MetadataPose{.given = plan.pose->given, .matrix = {}};
        std::copy(plan.pose->matrix.begin(), plan.pose->matrix.end(), facts.pose->matrix.begin());
    }
}

void RecordConfiguration(ScanFacts& facts, const BoardSlot& slot,
                         const ConfigurationProgress& progress, const std::string& lookupFile,
                         bool olderVersion) {
    if (progress.calibrated) facts.calibrationValue = slot.calibrationValue;
    if (progress.rangeSet) facts.averagingCount = slot.averagingCount;
    // The encoders are set after the calibration; their counts hold from then.
    if (progress.calibrated) {
        facts.encoderCounts[0] = slot.encoderCounts[0];
        facts.encoderCounts[1] = slot.encoderCounts[1];
    }
    if (!progress.lookupAttempted) return;
    if (progress.lookupRead) {
        facts.lookup = LookupFileFacts(lookupFile, slot.sampleRateOffset, olderVersion);
    } else {
        facts.lookup.name = lookupFile;
    }
}

void RecordLines(ScanFacts& facts, std::int32_t linesAsked, const LineLoopResult& loop) {
    facts.linesAsked = linesAsked;
    facts.linesRecorded = loop.linesRecorded;
    facts.linesWithLostSamples.clear();
    for (std::size_t line = 0; line < loop.lostSamplesAt.size(); ++line)
        if (loop.lostSamplesAt.test(line)) facts.linesWithLostSamples.push_back(static_cast<std::int32_t>(line));
}

MetadataCapture CaptureFacts(const std::string& path, const CaptureFigures& figures) {
    return MetadataCapture{.name = path,
                           .records = figures.records,
                           .sha256 = figures.sha256,
                           .samplingStartsAtRecord = kCalibrationRecords};  // the calibration's records come first
}

MetadataEnd EndFacts(int exitCode, bool stoppedEarly, const std::string& firstErrorLine) {
    MetadataEnd end;
    end.exitCode = exitCode;
    if (exitCode == kExitRunFailed) {
        end.how = "failure";
        end.message = Named(firstErrorLine);
    } else {
        // Stopped during the run-up or before the first line: a stop as well.
        end.how = stoppedEarly || exitCode == kExitStoppedBeforeSampling ? "q" : "complete";
    }
    return end;
}

}  // namespace velscan
