#pragma once
// COM for the calling thread for the lifetime of the object: initialised on
// construction, uninitialised on destruction when this object initialised it.
#include <windows.h>

namespace velscan::picture {

class ComApartment {
public:
    // Throws EncodeFailure when COM cannot be initialised at all.
    ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment();

private:
    bool initialised_ = false;
};

}  // namespace velscan::picture
