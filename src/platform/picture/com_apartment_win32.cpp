// COM initialisation for the encoder's thread.
#include <objbase.h>

#include "platform/picture/com_apartment.hpp"
#include "platform/picture/hresult_check.hpp"

namespace velscan::picture {

ComApartment::ComApartment() {
    const HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // A thread already in a single-threaded apartment can use the codecs as it is.
    if (result == RPC_E_CHANGED_MODE) return;
    Check(result, "CoInitializeEx");
    initialised_ = true;  // S_OK and S_FALSE are both balanced by CoUninitialize
}

ComApartment::~ComApartment() {
    if (initialised_) CoUninitialize();
}

}  // namespace velscan::picture
