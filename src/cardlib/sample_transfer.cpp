#include <algorithm>
#include <chrono>
#include <new>
#include <span>

#include "cardlib/device_controls.hpp"
#include "cardlib/vexa.hpp"
#include "platform/backend.hpp"
#include "platform/cancellable_pause.hpp"

namespace velscan {

namespace {

constexpr std::uint32_t kPollPauseMs = 10;

// How long a waiting read goes on without a single new sample before it gives
// up: 2 s plus ten sample periods. A card that stops delivering would
// otherwise hold the caller for ever; the bound is measured on the clock seam,
// so it holds in virtual time as well.
std::chrono::nanoseconds DeliveryTimeout(std::uint32_t samplePeriodUs) {
    return std::chrono::seconds(2) +
           std::chrono::microseconds(std::uint64_t{samplePeriodUs} * 10);
}

// The first `n` records of the slot's block buffer, grown when a read asks
// for more than it ever held; empty when it cannot grow.
std::span<RawSample> BlockBuffer(BoardSlot& slot, std::size_t n) {
    if (slot.blockBuffer.size() < n) {
        try {
            slot.blockBuffer.resize(n);
        } catch (const std::bad_alloc&) {
            return {};
        }
    }
    return std::span(slot.blockBuffer).first(n);
}

}  // namespace

int VexaSamplingEnable(std::uint32_t board) {
    BoardSlot* slot = CheckedBoard(board);
    if (slot == nullptr) return 0;
    if (!IssuePlainControl(*slot->device, kControlSamplingEnableStep1)) return 0;
    if (!IssuePlainControl(*slot->device, kControlSamplingEnableStep2)) return 0;
    return 1;
}

// With the wait flag 0: one block read of whatever the card holds. With the
// wait flag set: block reads, each followed by a 10 ms pause, until the
// requested count has arrived, or until no new sample has arrived for the
// delivery time-out or the backend cancels the wait (result 0; the
// destination and the delivered count keep what arrived). Then the status
// read gives 1, or 2 when the card's buffer overflowed.
int VexaReadSamples(std::uint32_t board, RawSample* destination, std::int32_t requested,
                    std::int32_t& delivered, std::int32_t waitFlag) {
    BoardSlot* slot = CheckedBoard(board);
    if (slot == nullptr) return 0;
    if (requested < 0 || (requested > 0 && destination == nullptr)) return 0;
    platform::CardDevice& device = *slot->device;
    const platform::Clock& clock = *platform::ActiveBackend().clock;
    const std::chrono::nanoseconds timeout = DeliveryTimeout(slot->samplePeriod);

    delivered = 0;
    std::int32_t remaining = requested;
    std::chrono::nanoseconds lastArrival = clock.Now();
    while (remaining != 0) {
        // Through the slot's buffer: records beyond those delivered stay as
        // the caller left them.
        const std::span<RawSample> block = BlockBuffer(*slot, static_cast<std::size_t>(remaining));
        const std::int32_t count = block.empty() ? -1 : ReadSampleBlock(device, block);
        if (count < 0) return 0;
        std::copy_n(block.begin(), count, destination + delivered);
        remaining -= count;
        delivered += count;
        if (waitFlag == 0) break;
        if (count > 0) lastArrival = clock.Now();
        platform::Pause(kPollPauseMs);
        if (remaining != 0 && clock.Now() - lastArrival >= timeout) return 0;
        // The backend asks the wait to end (a stop of the run): 0 as well.
        if (remaining != 0 && platform::WaitCancelled()) return 0;
    }

    std::int32_t overflow = 0;
    if (VexaGetStatus(board, overflow) == 0) return 0;
    return overflow != 0 ? 2 : 1;
}

}  // namespace velscan
