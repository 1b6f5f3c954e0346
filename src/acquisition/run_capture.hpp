#pragma once
// The capture of raw records the run writes as it goes (beside the table, or
// where VELSCAN_CAPTURE says): in place when sampling starts, closed once,
// when no more records can come, and then described.

#include <functional>
#include <optional>
#include <string>

#include "scanfile/capture_file.hpp"
#include "scanfile/scan_metadata.hpp"

namespace velscan {

class RunCapture {
public:
    // `finish` closes the capture (empty when it holds every record, else one
    // "Error: ...\n" line); `figures` gives its records and digest once it is
    // a finished regular file. Empty functions: no capture.
    // `start` puts it in place when sampling starts (see RunContext).
    RunCapture(std::string path, std::function<std::string()> finish,
               std::function<std::optional<CaptureFigures>()> figures,
               std::function<std::string()> start = {});

    bool Present() const { return present_; }
    const std::string& Path() const { return path_; }
    // Puts it in place; empty, else one "Error: ...\n" line.
    std::string Start() const { return present_ && start_ ? start_() : std::string(); }
    // Closes it, once; true when it holds every record (or there is none).
    bool Close();
    // The closed capture's problem line ("Error: ...\n"); empty when there is
    // none or it is not closed yet.
    const std::string& Problem() const { return problem_; }
    // What the metadata says of a finished capture that is a regular file.
    std::optional<MetadataCapture> Facts() const;

private:
    std::string path_;
    std::function<std::string()> finish_;
    std::function<std::optional<CaptureFigures>()> figures_;
    std::function<std::string()> start_;
    bool present_;
    bool closed_ = false;
    std::string problem_;
};

}  // namespace velscan
