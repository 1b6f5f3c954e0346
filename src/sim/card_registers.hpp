#pragma once
// The card's register file as the driver's register writes leave it, and the
// acquisition mode its contents select: the calibration table sets register
// 0x0020 to 0x0090 and 0x0024 to 0x0067, the sampling table 0x0020 to 0x0010.

#include <cstdint>
#include <map>

namespace velscan::sim {

enum class CardMode : std::uint32_t { None = 0, Calibration = 1, Sampling = 2 };

class CardRegisters {
public:
    void Write(std::uint16_t reg, std::uint16_t value) { values_[reg] = value; }
    std::uint16_t Read(std::uint16_t reg) const {
        const auto it = values_.find(reg);
        return it == values_.end() ? 0 : it->second;
    }
    void Clear() { values_.clear(); }
    CardMode Mode() const {
        if (Read(0x0020) == 0x0090 && Read(0x0024) == 0x0067) return CardMode::Calibration;
        if (Read(0x0020) == 0x0010) return CardMode::Sampling;
        return CardMode::None;
    }

private:
    std::map<std::uint16_t, std::uint16_t> values_;
};

}  // namespace velscan::sim
