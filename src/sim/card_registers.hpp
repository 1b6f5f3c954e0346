#pragma once
// The card's register file as the driver's register writes leave it, and the
// acquisition mode its contents select.

#include <cstdint>
#include <map>

#include "cardlib/protocol.hpp"

namespace velscan::sim {

class CardRegisters {
public:
    void Write(std::uint16_t reg, std::uint16_t value) { values_[reg] = value; }
    std::uint16_t Read(std::uint16_t reg) const {
        const auto it = values_.find(reg);
        return it == values_.end() ? 0 : it->second;
    }
    void Clear() { values_.clear(); }
    CardMode Mode() const {
        return CardModeOf(Read(kModeRegister), Read(kTimingRegister));
    }

private:
    std::map<std::uint16_t, std::uint16_t> values_;
};

}  // namespace velscan::sim
