#pragma once
// The card's sample buffer: a ring of 65,536 raw samples, oldest first. Each
// entry remembers whether it was taken in sampling mode, since only those
// count towards the lines that faults name.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "conversion/samples.hpp"

namespace velscan::sim {

inline constexpr std::size_t kSampleBufferCapacity = 65536;

struct BufferedSample {
    RawSample sample;
    bool sampling;
};

class SampleBuffer {
public:
    SampleBuffer() : ring_(kSampleBufferCapacity) {}

    std::size_t Size() const { return size_; }
    bool Full() const { return size_ == ring_.size(); }
    bool Empty() const { return size_ == 0; }
    void Clear() { head_ = size_ = 0; }

    // False (nothing stored) when full.
    bool Push(const BufferedSample& entry) {
        if (Full()) return false;
        ring_[(head_ + size_) & (ring_.size() - 1)] = entry;
        ++size_;
        return true;
    }
    const BufferedSample& Front() const { return ring_[head_]; }
    void Pop() {
        head_ = (head_ + 1) & (ring_.size() - 1);
        --size_;
    }

private:
    std::vector<BufferedSample> ring_;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
};

}  // namespace velscan::sim
