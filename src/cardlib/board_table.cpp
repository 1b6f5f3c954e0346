#include "cardlib/vexa.hpp"

#include <new>
#include <string>
#include <utility>

#include "cardlib/device_controls.hpp"
#include "platform/backend.hpp"

namespace velscan {

std::array<BoardSlot, kBoardCount>& BoardTable() {
    static std::array<BoardSlot, kBoardCount> table;
    return table;
}

BoardSlot* CheckedBoard(std::uint32_t board) {
    if (board >= kBoardCount) return nullptr;
    BoardSlot& slot = BoardTable()[board];
    if (slot.inUse == 0 || !slot.device) return nullptr;
    return &slot;
}

int VexaInitBoards() {
    for (BoardSlot& slot : BoardTable()) {
        const std::int32_t calibrationValue = slot.calibrationValue;
        slot = BoardSlot{};
        slot.calibrationValue = calibrationValue;
    }
    return 1;
}

// The board number selects nothing: there is one device name, and the board
// always goes into the first free slot.
std::int32_t VexaOpen(std::int32_t boardNumber, SerialLink* link) {
    return VexaOpen(boardNumber, link, nullptr);
}

std::int32_t VexaOpen(std::int32_t /*boardNumber*/, SerialLink* link, std::string* failure) {
    const auto& open = platform::ActiveBackend().openCardDevice;
    if (failure != nullptr) failure->clear();
    if (!open) return -1;
    platform::CardDeviceOpening opening = open();
    std::unique_ptr<platform::CardDevice> device = std::move(opening.device);
    if (!device) {
        if (failure != nullptr) *failure = std::move(opening.failure);
        return -1;
    }

    std::uint32_t index = 0;
    while (index < kBoardCount && BoardTable()[index].inUse != 0) ++index;
    if (index == kBoardCount) return -1;  // the new device closes as it goes out of scope

    BoardSlot& slot = BoardTable()[index];
    try {
        slot.blockBuffer.reserve(kSamplesPerLine);
    } catch (const std::bad_alloc&) {
        // A read that needs it tries again, and fails if it cannot.
    }
    slot.device = std::move(device);
    slot.link = link;
    slot.inUse = 1;
    if (VexaResetBoard(index) == 0) {
        // Closed: still in use, but without a device it passes no board check.
        slot.device.reset();
        return -1;
    }
    return static_cast<std::int32_t>(index);
}

int VexaResetBoard(std::uint32_t board) {
    BoardSlot* slot = CheckedBoard(board);
    if (slot == nullptr) return 0;
    return IssuePlainControl(*slot->device, kControlBoardReset) ? 1 : 0;
}

int VexaClose(std::uint32_t board) {
    BoardSlot* slot = CheckedBoard(board);
    if (slot == nullptr) return 0;
    IssuePlainControl(*slot->device, kControlBoardReset);  // the card is closed either way
    slot->device.reset();
    return 1;
}

}  // namespace velscan
