#pragma once
// What the run must give back on every way out of it (failure, stop, forced
// end, exception): a motor that was started is stopped, then the serial link
// is closed and then the card.

#include <cstdint>
#include <optional>

#include "laserlink/serial_link.hpp"

namespace velscan {

class RunGuard {
public:
    // From here on the forced end releases the hardware through this guard.
    explicit RunGuard(SerialLink& link);
    RunGuard(const RunGuard&) = delete;
    RunGuard& operator=(const RunGuard&) = delete;
    ~RunGuard();

    void LinkOpened() { linkOpen_ = true; }
    void BoardOpened(std::int32_t index) { board_ = index; }
    void MotorStarted(std::uint32_t motor) { motor_ = motor; }

    // Stops a started motor; false when the card rejected the stop (the
    // mirror may go on turning).
    bool StopMotor();
    // Stops a started motor without a word, then closes the link and then the
    // card, each once; safe to call again, and what the forced end does.
    void Release() noexcept;

private:
    SerialLink& link_;
    bool linkOpen_ = false;
    std::int32_t board_ = -1;
    std::optional<std::uint32_t> motor_;
};

}  // namespace velscan
