#include "acquisition/run_guard.hpp"

#include <utility>

#include "acquisition/exit_codes.hpp"
#include "cardlib/vexa.hpp"
#include "platform/interrupt.hpp"

namespace velscan {

RunGuard::RunGuard(RunConsole& console, SerialLink& link,
                   std::function<std::string()> finishCapture)
    : console_(console),
      link_(link),
      finishCapture_(std::move(finishCapture)),
      hasCapture_(static_cast<bool>(finishCapture_)) {
    platform::SetForcedEndAction([this] { Release(); });
}

RunGuard::~RunGuard() {
    platform::SetForcedEndAction(nullptr);
    if (finished_) return;
    try {
        (void)Finish(kExitRunFailed);
    } catch (...) {
        Release();  // the console failed: the hardware is given back all the same
    }
}

bool RunGuard::SendMotorStop() {
    if (!motor_ || board_ == -1) return true;
    const std::uint32_t motor = *std::exchange(motor_, std::nullopt);
    return VexaSetMotorPower(static_cast<std::uint32_t>(board_), motor, 0) == 1;
}

void RunGuard::StopMotor() {
    if (SendMotorStop()) return;
    motorStopFailed_ = true;
    console_.Error("Warning: the motor stop failed; the mirror may still be turning.\n");
}

void RunGuard::Release() noexcept {
    try {
        (void)SendMotorStop();
    } catch (...) {
        // best effort: link and board are closed all the same
    }
    // Each is marked closed before it is closed, so a forced end that comes
    // during a close does not close it a second time.
    if (std::exchange(linkOpen_, false)) SerialLinkClose(link_);
    if (const std::int32_t board = std::exchange(board_, -1); board != -1)
        VexaClose(static_cast<std::uint32_t>(board));
}

bool RunGuard::CloseCapture() {
    if (captureClosed_ || !hasCapture_) return captureProblem_.empty();
    captureClosed_ = true;
    captureProblem_ = std::exchange(finishCapture_, nullptr)();
    return captureProblem_.empty();
}

int RunGuard::ExitCodeFor(int exitCode) const {
    if (motorStopFailed_ || !captureProblem_.empty()) return kExitRunFailed;
    return exitCode;
}

bool RunGuard::FinishCapture() {
    if (!hasCapture_) return true;
    const bool captured = CloseCapture();
    // Reported once, here, whether the capture was closed now or before.
    if (!captured && !std::exchange(captureReported_, true)) console_.Error(captureProblem_.c_str());
    return captured;
}

int RunGuard::Finish(int exitCode) {
    finished_ = true;
    StopMotor();
    Release();
    const bool captured = FinishCapture();
    const int finalCode = (motorStopFailed_ || !captured) ? kExitRunFailed : exitCode;
    if (hasCapture_ && captured && captureWritten_ &&
        !std::exchange(captureWritten_, nullptr)(finalCode))
        return kExitRunFailed;
    return finalCode;
}

}  // namespace velscan
