#include "export/export_setup.hpp"

#include <algorithm>

#include "conversion/printable_text.hpp"

namespace velscan::exporter {

namespace {

// The profile's offsets where none is typed.
void TakeProfile(ExportSetup& setup, double mirror, double slow, const std::string& from) {
    if (setup.mirror.from.empty()) setup.mirror = {mirror, from};
    if (setup.slow.from.empty()) setup.slow = {slow, from};
}

std::optional<SitePose> RecordedPose(const MetadataPose& recorded, std::string& problem) {
    SitePose pose;
    pose.given = recorded.given;
    for (std::size_t i = 0; i < recorded.matrix.size(); ++i) {
        if (!recorded.matrix[i]) {
            problem = "has a matrix of fewer than 16 numbers";
            return std::nullopt;
        }
        pose.matrix[i] = *recorded.matrix[i];
    }
    problem = RigidProblem(pose.matrix);
    if (!problem.empty()) return std::nullopt;
    return pose;
}

std::string Number(double value) { return PoseNumbers(&value, 1); }

std::string OffsetValue(const AppliedOffset& offset) {
    return Number(offset.radians) + " rad, " + (offset.from.empty() ? "none given" : "from " + offset.from);
}

}  // namespace

std::optional<InstrumentProfile> NamedProfile(const ExportOptions& options) {
    if (options.profile.empty()) return std::nullopt;
    ProfileReading reading = ReadProfileFile(options.profile);
    if (!reading.profile) throw ProfileError("the profile " + options.profile + " " + reading.problem + " (--profile)");
    return std::move(reading.profile);
}

ExportSetup ChooseSetup(const ExportOptions& options, const std::optional<InstrumentProfile>& named,
                        const ScanFacts* metadata, const std::string& metadataName, const WarningSink& warn) {
    ExportSetup setup;
    if (options.mirrorOffset) setup.mirror = {*options.mirrorOffset, "--mirror-offset"};
    if (options.slowOffset) setup.slow = {*options.slowOffset, "--slow-offset"};

    const std::string recordedIn = "the metadata file " + PrintableText(metadataName);
    if (named) {
        TakeProfile(setup, named->mirrorOffset, named->slowOffset,
                    "the profile " + PrintableText(named->name) + " (--profile)");
    } else if (metadata && metadata->profile) {
        const MetadataProfile& recorded = *metadata->profile;
        if (recorded.mirrorOffset && recorded.slowOffset)
            TakeProfile(setup, *recorded.mirrorOffset, *recorded.slowOffset,
                        "the profile " + PrintableText(recorded.name) + " recorded in " + recordedIn);
        else if (warn)
            warn("Warning: the profile recorded in " + recordedIn +
                 " lacks an offset; the table is exported without it");
    }

    if (options.pose) {
        setup.pose = options.pose;
        setup.poseFrom = "--pose";
    } else if (metadata && metadata->pose) {
        std::string problem;
        setup.pose = RecordedPose(*metadata->pose, problem);
        if (setup.pose)
            setup.poseFrom = recordedIn;
        else if (warn)
            warn("Warning: the pose recorded in " + recordedIn + " " + problem +
                 "; the scan is exported at the origin");
    }
    return setup;
}

std::vector<SummaryLine> SetupLines(const ExportSetup& setup) {
    if (setup.mirror.from.empty() && setup.slow.from.empty() && !setup.pose) return {};
    std::vector<SummaryLine> lines{{"mirror offset", OffsetValue(setup.mirror)},
                                   {"slow-axis offset", OffsetValue(setup.slow)}};
    if (!setup.pose) {
        lines.push_back({"pose", "none given: the scanner at the origin"});
    } else {
        lines.push_back({"pose", PrintableText(setup.pose->given) + " (points in the scanner's frame, the pose "
                                 "stored beside them), from " + setup.poseFrom});
    }
    return lines;
}

}  // namespace velscan::exporter
