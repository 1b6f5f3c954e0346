// The card behind the test driver (card_relay_driver.c): serves one open of
// the card's device on the named pipe \\.\pipe\velscan-card-relay, answering
// every control the driver relays with the simulated instrument's own card,
// on the real clock. Every record the card delivers is written to a capture
// file, so a native run can replay exactly what crossed the driver.
//
//   card_relay_server.exe READY_FILE CAPTURE_FILE SEED [FAULTS]
//
// READY_FILE is written once the pipe exists (the driver can open it from
// then on). FAULTS takes the simulated instrument's fault list (fail=0xCODE@K
// makes the card reject a control). Ends when the device is closed: 0 when
// the session ended cleanly and the capture is complete.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.hpp"
#include "sim/capture.hpp"
#include "sim/faults.hpp"
#include "sim/instrument.hpp"
#include "sim/lookup_source.hpp"
#include "sim/sim_devices.hpp"
#include "sim/unsigned_text.hpp"

namespace {

using namespace velscan;

constexpr const char* kPipeName = "\\\\.\\pipe\\velscan-card-relay";
// The largest transfer the relay takes: far more than a block read of the
// card's whole buffer.
constexpr std::uint32_t kMaxTransfer = 64u << 20;

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

bool ReadAll(HANDLE pipe, void* data, std::uint32_t length) {
    auto* at = static_cast<std::uint8_t*>(data);
    while (length > 0) {
        DWORD got = 0;
        if (!ReadFile(pipe, at, length, &got, nullptr) || got == 0) return false;
        at += got;
        length -= got;
    }
    return true;
}

bool WriteAll(HANDLE pipe, const void* data, std::uint32_t length) {
    if (length == 0) return true;
    DWORD put = 0;
    return WriteFile(pipe, data, length, &put, nullptr) && put == length;
}

// Answers requests until the driver closes the pipe (true) or breaks the
// framing (false).
bool Serve(HANDLE pipe, platform::CardDevice& card) {
    for (;;) {
        std::uint32_t request[3];
        DWORD got = 0;
        // A close between requests is the end of the session.
        if (!ReadFile(pipe, request, sizeof request, &got, nullptr) || got == 0) return true;
        if (got < sizeof request &&
            !ReadAll(pipe, reinterpret_cast<std::uint8_t*>(request) + got,
                     static_cast<std::uint32_t>(sizeof request - got)))
            return false;
        const std::uint32_t code = request[0], inLength = request[1], outLength = request[2];
        if (inLength > kMaxTransfer || outLength > kMaxTransfer) return false;
        std::vector<std::byte> input(inLength);
        if (!ReadAll(pipe, input.data(), inLength)) return false;
        // A buffered control's output shares the system buffer its input came in.
        std::vector<std::byte> output(outLength);
        for (std::size_t i = 0; i < inLength && i < outLength; ++i) output[i] = input[i];

        const platform::ControlResult result = card.Control(code, input, output);
        const std::uint32_t returned =
            result.succeeded && result.bytesReturned <= outLength ? result.bytesReturned : 0;
        const std::uint32_t answer[2] = {result.succeeded ? 1u : 0u, returned};
        if (!WriteAll(pipe, answer, sizeof answer) || !WriteAll(pipe, output.data(), returned))
            return false;
    }
}

int Run(const std::string& readyPath, const std::string& capturePath, const std::string& seedText,
        const std::string& faults) {
    const auto seed = sim::ParseUnsigned(seedText);
    if (!seed) {
        std::fprintf(stderr, "card relay: the seed must be a number, not %s\n", seedText.c_str());
        return 2;
    }
    sim::InstrumentOptions options;
    options.seed = *seed;
    options.faults = sim::ParseFaults(faults);
    options.synthesis = sim::WorkingDirectorySynthesis;
    auto instrument =
        std::make_shared<sim::Instrument>(std::make_shared<platform::RealClock>(), options);
    auto capture = std::make_shared<CaptureFile>(capturePath);

    UniqueHandle pipe(CreateNamedPipeA(kPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 1 << 20,
                                       1 << 20, 0, nullptr));
    if (pipe.get() == INVALID_HANDLE_VALUE) {
        pipe.release();
        std::fprintf(stderr, "card relay: cannot create the pipe (error %lu)\n", GetLastError());
        return 3;
    }
    if (std::FILE* ready = std::fopen(readyPath.c_str(), "w")) {
        std::fclose(ready);
    } else {
        std::fprintf(stderr, "card relay: cannot write %s\n", readyPath.c_str());
        return 3;
    }
    if (!ConnectNamedPipe(pipe.get(), nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
        std::fprintf(stderr, "card relay: no connection (error %lu)\n", GetLastError());
        return 3;
    }
    bool clean = false;
    {
        std::unique_ptr<platform::CardDevice> card =
            sim::WrapWithCapture(sim::OpenSimulatedCard(instrument), capture);
        clean = card && Serve(pipe.get(), *card);
    }
    const std::string captureProblem = capture->Finish();
    if (!captureProblem.empty()) std::fputs(captureProblem.c_str(), stderr);
    if (!clean) std::fputs("card relay: the driver broke the request framing\n", stderr);
    return clean && captureProblem.empty() ? 0 : 4;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fputs("usage: card_relay_server READY_FILE CAPTURE_FILE SEED [FAULTS]\n", stderr);
        return 2;
    }
    try {
        return Run(argv[1], argv[2], argv[3], argc == 5 ? argv[4] : "");
    } catch (const std::exception& problem) {
        std::fprintf(stderr, "card relay: %s\n", problem.what());
        return 3;
    }
}
