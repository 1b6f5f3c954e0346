#pragma once
// The card library: the board table and every operation on the VEXA card.
// Board operations take a board index first and apply the board check; they
// return 1 for success and 0 for failure (VexaOpen: the slot index or -1;
// VexaReadSamples and VexaConvertSamples: 2 for success with a flag). The
// library itself prints nothing; the conversion it calls prints the lookup
// loader's warnings (VexaLoadLookupFile) and the out-of-band fine-value
// messages (VexaGetRawRange, VexaConvertSamples).

#include <array>
#include <cstdint>
#include <string>
#include <memory>
#include <span>
#include <vector>

#include "cardlib/protocol.hpp"
#include "conversion/lookup_table.hpp"
#include "conversion/samples.hpp"
#include "laserlink/serial_link.hpp"
#include "platform/card_device.hpp"

namespace velscan {

inline constexpr std::uint32_t kBoardCount = 5;

struct BoardSlot {
    SerialLink* link = nullptr;                       // not owned
    std::unique_ptr<platform::CardDevice> device;     // null: no device
    std::int32_t inUse = 0;
    std::int32_t averagingCount = 0;
    std::int32_t maxRange = 650;
    std::uint32_t samplePeriod = 200000;
    std::int32_t calibrationValue = 0;                // kept by VexaInitBoards
    double sampleRateOffset = 0.0;
    std::array<std::uint32_t, 2> encoderCounts{2000, 2000};  // encoder 1, encoder 2
    std::array<std::int32_t, 2> encoderOffset{0, 0};
    std::array<std::uint8_t, 2> motorPower{0, 0};            // motor 1, motor 2
    // Where block reads land before they are copied to the caller; kept
    // between reads (VexaOpen reserves one buffer line), so reading a line
    // allocates nothing.
    std::vector<RawSample> blockBuffer;
};

// The process-wide table of five slots.
std::array<BoardSlot, kBoardCount>& BoardTable();

// The board check: the slot of an index (taken as unsigned) of at most 4 that
// is in use and has a device; null otherwise.
BoardSlot* CheckedBoard(std::uint32_t board);

// Lifecycle.
int VexaInitBoards();
std::int32_t VexaOpen(std::int32_t boardNumber, SerialLink* link);
// The same, telling `failure` (when given) why an open that found no device
// failed, as the device's opener said ("simulated fault no-card"); empty when
// it gave no reason, or after an open that found its device.
std::int32_t VexaOpen(std::int32_t boardNumber, SerialLink* link, std::string* failure);
int VexaResetBoard(std::uint32_t board);
int VexaClose(std::uint32_t board);

// Device controls (board level).
int VexaClearSampleBuffer(std::uint32_t board);
int VexaClearEncoder(std::uint32_t board, std::uint32_t encoderMask, std::int32_t clearFlag);
int VexaGetStatus(std::uint32_t board, std::int32_t& overflowFlag);

// Calibration and sampling mode.
int VexaSetSwitch(std::uint32_t board, std::int32_t flag);
int VexaCalibrate(std::uint32_t board);
int VexaSamplingModeInit(std::uint32_t board);
// The calibration values the card accepts.
inline constexpr std::int32_t kMinCalibrationValue = 600;
inline constexpr std::int32_t kMaxCalibrationValue = 1000;

// The value the calibration takes from the card's 20 calibration records
// (stored by VexaCalibrate, accepted from kMinCalibrationValue to
// kMaxCalibrationValue); velscan-reconvert takes it from a capture's first
// records the same way.
std::int32_t CalibrationValueOf(std::span<const RawSample, kCalibrationRecords> records);

// Acquisition configuration.
int VexaSetEncoder(std::uint32_t board, std::uint32_t encoder, std::int32_t offset,
                   std::uint32_t countsPerRevolution);
int VexaLoadLookupFile(std::uint32_t board, const char* fileName);
// The same, telling `reading` (when given) why a file was refused and whether
// it was of the older version.
int VexaLoadLookupFile(std::uint32_t board, const char* fileName, LookupReading* reading);
int VexaSetSampleAndRange(std::uint32_t board, SerialLink* link, std::int32_t maxRange,
                          std::uint32_t samplePeriod);
int VexaSetMotorPower(std::uint32_t board, std::uint32_t motor, std::uint32_t power);

// Sample transfer. With the wait flag set, VexaReadSamples polls every 10 ms
// until the requested count has arrived, and gives up (0) when no new sample
// has arrived for 2 s plus ten sample periods.
int VexaSamplingEnable(std::uint32_t board);
int VexaReadSamples(std::uint32_t board, RawSample* destination, std::int32_t requested,
                    std::int32_t& delivered, std::int32_t waitFlag);

// A board prepared for conversion without a card, as a run leaves it before
// sampling: its records come from elsewhere (a capture), so its device
// refuses every control.
struct OfflineBoardSettings {
    std::int32_t calibrationValue = 0;
    std::array<std::uint32_t, 2> encoderCounts{};  // counts per turn of encoder 1 and 2
    std::string lookupFile;
    std::int32_t maxRange = 0;
    std::uint32_t samplePeriod = 0;
};
struct OfflineBoard {
    std::uint32_t board = 0;
    bool olderLookupVersion = false;  // the lookup file had no valid offset: 0 is used
    // Empty when the board is ready; else why not, as one clause
    // ("the lookup file L cannot be used: larger than 1048576 bytes").
    std::string refusal;
};
// Takes the first free slot (after VexaInitBoards, board 0).
OfflineBoard VexaPrepareOfflineBoard(const OfflineBoardSettings& settings);

// Conversion of samples (board bound).
int VexaGetRawRange(std::uint32_t board, std::uint32_t rangeWord, std::uint32_t& rawRange);
int VexaConvertSamples(std::uint32_t board, const RawSample* samples,
                       Measurement* measurements, std::int32_t count);

}  // namespace velscan
