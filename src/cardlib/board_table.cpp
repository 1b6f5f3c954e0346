#include "cardlib/vexa.hpp"

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

}  // namespace velscan
