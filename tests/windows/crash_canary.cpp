// Crashes on purpose. Its ctest entries expect it to fail and to name the
// exception: proof that a crashing Windows test program cannot pass unseen.
#include <windows.h>

#include <cstdint>

#include <gtest/gtest.h>

namespace {

TEST(CrashCanary, WriteThroughNull) {
    // Through a volatile address, so the compiler must emit the store as written.
    volatile std::uintptr_t address = 0;
    *reinterpret_cast<volatile int*>(address) = 1;
    ADD_FAILURE() << "the write through a null pointer did not fault";
}

TEST(CrashCanary, RaiseCodeEndingInZeroByte) {
    // A code whose low byte is 0: a bare Wine can report such a crash as exit code 0.
    RaiseException(0xE0000100, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    ADD_FAILURE() << "the raised exception returned";
}

}  // namespace
