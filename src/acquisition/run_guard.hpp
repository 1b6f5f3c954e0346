#pragma once
// What the run must give back on every way out of it (failure, stop, forced
// end, exception): a motor that was started is stopped, the serial link is
// closed and then the card, and the capture of raw records is finished, with a
// capture that could not be written completely reported.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "acquisition/run_console.hpp"
#include "laserlink/serial_link.hpp"

namespace velscan {

class RunGuard {
public:
    // `finishCapture` may be empty (no capture). From here on the forced end
    // releases the hardware through this guard.
    RunGuard(RunConsole& console, SerialLink& link, std::function<std::string()> finishCapture);
    RunGuard(const RunGuard&) = delete;
    RunGuard& operator=(const RunGuard&) = delete;
    // On a way out that skipped Finish (an exception): everything Finish does.
    ~RunGuard();

    void LinkOpened() { linkOpen_ = true; }
    void BoardOpened(std::int32_t index) { board_ = index; }
    void MotorStarted(std::uint32_t motor) { motor_ = motor; }

    // Stops a started motor. When the card rejects the stop, the operator is
    // warned (the mirror may go on turning) and the run will fail.
    void StopMotor();
    // Stops a started motor without a word, then closes the link and then the
    // card, each once; safe to call again, and what the forced end does.
    void Release() noexcept;
    // Closes the capture now, once no more records can come, so that its
    // outcome is known before the table is saved; its problem, if any, is
    // still reported by Finish. False when the capture could not be written.
    bool CloseCapture();
    // What Finish will return for `exitCode`, as things stand.
    int ExitCodeFor(int exitCode) const;
    // The capture's problem line ("Error: ...\n"); empty when there is none
    // or the capture is not closed yet.
    const std::string& CaptureProblem() const { return captureProblem_; }
    // Told the final exit code once Finish has closed a capture that holds
    // every record (not after a capture that failed, nor without one); false
    // from it makes the run fail.
    void OnCaptureWritten(std::function<bool(int exitCode)> written) {
        captureWritten_ = std::move(written);
    }

    // The run's last step: stops the motor, releases link and card, finishes
    // the capture. Returns `exitCode`, or the failure code when the motor
    // stop or the capture failed.
    int Finish(int exitCode);

private:
    bool SendMotorStop();
    bool FinishCapture();

    RunConsole& console_;
    SerialLink& link_;
    std::function<std::string()> finishCapture_;
    bool hasCapture_ = false;
    bool captureClosed_ = false;
    std::string captureProblem_;
    bool captureReported_ = false;
    std::function<bool(int)> captureWritten_;
    bool linkOpen_ = false;
    std::int32_t board_ = -1;
    std::optional<std::uint32_t> motor_;
    bool motorStopFailed_ = false;
    bool finished_ = false;
};

}  // namespace velscan
