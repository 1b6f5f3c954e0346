#include "crash_exit.hpp"

#include <windows.h>

#include <cstdio>

#include <gtest/gtest.h>

namespace velscan::testing {

namespace {

// Runs on the faulting thread, possibly with the C runtime in a broken state:
// it formats into its own buffer and writes to the handle directly.
LONG WINAPI EndProcessOnUnhandledException(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info != nullptr ? info->ExceptionRecord : nullptr;
    const unsigned long code = record != nullptr ? record->ExceptionCode : 0UL;
    const void* address = record != nullptr ? record->ExceptionAddress : nullptr;

    const ::testing::TestInfo* test = nullptr;
    if (::testing::UnitTest* unit = ::testing::UnitTest::GetInstance()) {
        test = unit->current_test_info();
    }
    char line[512];
    const int length = std::snprintf(
        line, sizeof line, "\nUnhandled exception 0x%08lX at %p%s%s%s%s\n", code, address,
        test != nullptr ? " in test " : "", test != nullptr ? test->test_suite_name() : "",
        test != nullptr ? "." : "", test != nullptr ? test->name() : "");
    if (length > 0) {
        DWORD written = 0;
        const DWORD size = static_cast<DWORD>(
            static_cast<unsigned>(length) < sizeof line ? length : sizeof line - 1);
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, size, &written, nullptr);
    }
    TerminateProcess(GetCurrentProcess(), kUnhandledExceptionExitCode);
    return EXCEPTION_EXECUTE_HANDLER;  // not reached
}

}  // namespace

void InstallCrashExit() {
    // No dialog boxes for faults or missing drives: a test run has nobody to click them.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(EndProcessOnUnhandledException);
}

}  // namespace velscan::testing
