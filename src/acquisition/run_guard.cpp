#include "acquisition/run_guard.hpp"

#include <utility>

#include "cardlib/vexa.hpp"
#include "platform/interrupt.hpp"

namespace velscan {

RunGuard::RunGuard(SerialLink& link) : link_(link) {
    platform::SetForcedEndAction([this] { Release(); });
}

RunGuard::~RunGuard() {
    platform::SetForcedEndAction(nullptr);
    Release();
}

bool RunGuard::StopMotor() {
    if (!motor_ || board_ == -1) return true;
    const std::uint32_t motor = *std::exchange(motor_, std::nullopt);
    return VexaSetMotorPower(static_cast<std::uint32_t>(board_), motor, 0) == 1;
}

void RunGuard::Release() noexcept {
    try {
        (void)StopMotor();
    } catch (...) {
        // best effort: link and board are closed all the same
    }
    // Each is marked closed before it is closed, so a forced end that comes
    // during a close does not close it a second time.
    if (std::exchange(linkOpen_, false)) SerialLinkClose(link_);
    if (const std::int32_t board = std::exchange(board_, -1); board != -1)
        VexaClose(static_cast<std::uint32_t>(board));
}

}  // namespace velscan
