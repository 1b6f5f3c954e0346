#pragma once
// What velscan-export places the scan with, and where each value came from:
// the zero offsets (typed, from a profile, or none) and the pose (typed, from
// the table's metadata file, or none). Typed values win; a profile named with
// --profile wins over the one the metadata file records. The summary and the
// viewer's panel say what was used, in the lines of SetupLines.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "export/export_format.hpp"
#include "export/export_options.hpp"
#include "export/summary.hpp"
#include "scanfile/instrument_profile.hpp"
#include "scanfile/scan_metadata.hpp"
#include "scanfile/site_pose.hpp"

namespace velscan::exporter {

// A profile named with --profile that cannot be used.
class ProfileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct AppliedOffset {
    double radians = 0.0;
    std::string from;  // "--mirror-offset", "the profile P", ...; empty: none given
};

struct ExportSetup {
    AppliedOffset mirror;
    AppliedOffset slow;
    std::optional<SitePose> pose;
    std::string poseFrom;  // empty without a pose
};

// The profile named with --profile, read before the table so that a wrong
// one is refused at once; nullopt without the option. Throws ProfileError
// when it cannot be used.
std::optional<InstrumentProfile> NamedProfile(const ExportOptions& options);

// The setup of `options`, the profile they name and the table's metadata
// (null without one). A recorded profile or pose that cannot be used is left
// out with a warning to `warn`.
ExportSetup ChooseSetup(const ExportOptions& options, const std::optional<InstrumentProfile>& named,
                        const ScanFacts* metadata, const std::string& metadataName, const WarningSink& warn);

// "mirror offset", "slow-axis offset" and "pose", each with its value and
// source; none at all when nothing was given, so that a plain export reports
// as it always did.
std::vector<SummaryLine> SetupLines(const ExportSetup& setup);

}  // namespace velscan::exporter
