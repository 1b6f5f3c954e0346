#pragma once
// The follower that draws the live page (velscan-live, beside velscan):
// started at a lower priority right before the mirror's run-up when the live
// view or the finished table's pictures are on, told the scan's facts then
// and how the scan ended once its files are in place, and waited for (with
// a bound) so that its files exist and nothing is left running when velscan
// ends; the run's context says whether each is on. It never costs the scan:
// when it cannot be started the operator is warned in one line and the scan
// goes on; the line loop never waits for it.
//
//   VELSCAN_LIVE=off       no live page (T.live.html, T.live.js, T.live.png)
//   VELSCAN_PICTURES=off   no range picture T.png and viewer T.html at the end

#include <memory>
#include <string>

#include "platform/process.hpp"

namespace velscan {

class Run;

class LiveFollower {
public:
    LiveFollower() = default;
    // Closes the follower's input and gives it a moment to say so on the
    // page; kills it if it still runs.
    ~LiveFollower();
    LiveFollower(const LiveFollower&) = delete;
    LiveFollower& operator=(const LiveFollower&) = delete;

    // Before the mirror's run-up: says where the live page is (or why there
    // is none), and starts the follower with the scan's facts.
    void Start(Run& run);
    // Once the capture is in place, right before sampling: the follower
    // reads it from now on.
    void SamplingStarts();
    // Once the run's files are in place (after Run::Finish): tells the
    // follower how the scan ended and waits for its last files.
    void Finish(Run& run, int exitCode);

private:
    std::unique_ptr<platform::ChildProcess> child_;
};

}  // namespace velscan
