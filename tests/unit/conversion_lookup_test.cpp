#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <string>

#include "conversion/lookup_table.hpp"
#include "conversion/message_sink.hpp"

namespace velscan {
namespace {

constexpr const char* kWarning =
    "Older version of lookup file. Using 0 for sample rate offset. May\n"
    "result in slightly different distance readings at high sample rates.\n";

// The numbers after the first row of a table of n columns, counting up from
// `first` so that every entry shows where it landed; the offset comes last.
std::string RestOfTable(int n, std::string_view separator, const std::string& offset = "2.5") {
    const int count = n + kCorrectionCoefficients + kLookupRows * n;
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += std::to_string(1000 + i);
        text += separator;
    }
    return text + offset + "\n";
}

// Checks what a table of n columns built by RestOfTable holds.
void ExpectCountingEntries(const LookupTable& table, int n) {
    for (int j = 0; j < n; ++j) EXPECT_EQ(table.columnTemperature[j], 1000 + j) << j;
    EXPECT_EQ(table.coefficient[0], 1000 + n);
    EXPECT_EQ(table.coefficient[8], 1000 + n + 8);
    EXPECT_EQ(table.rangeTable[0][0], 1000 + n + 9);
    EXPECT_EQ(table.rangeTable[255][n - 1], 1000 + n + 9 + 256 * n - 1);
    for (int j = n; j < kLookupColumns; ++j) {
        EXPECT_EQ(table.columnDistance[j], 0.0f);
        EXPECT_EQ(table.columnTemperature[j], 0.0f);
        EXPECT_EQ(table.rangeTable[0][j], 0.0f);
        EXPECT_EQ(table.rangeTable[255][j], 0.0f);
    }
}

// Keeps what the loader sent, stream by stream, in order.
struct RecordingSink final : MessageSink {
    std::string output;
    std::string error;
    void Print(MessageStream stream, const char* text) override {
        (stream == MessageStream::Output ? output : error) += text;
    }
};

struct Parsed {
    std::unique_ptr<LookupTable> table = std::make_unique<LookupTable>();
    double offset = -1.0;
    int result = -1;
};

Parsed Parse(const std::string& text) {
    Parsed parsed;
    parsed.result = ParseLookupText(text, *parsed.table, parsed.offset, nullptr);
    return parsed;
}

TEST(LookupFirstRow, SpacesOrTabsBetweenNumbersAndSpacesBeforeTheLineEnd) {
    for (const std::string row : {"100 200 300\n", "100 200 300    \n", "100\t200\t300\n",
                                  "  100 \t 200 300 \n"}) {
        SCOPED_TRACE(row);
        const Parsed parsed = Parse(row + RestOfTable(3, " "));
        ASSERT_EQ(parsed.result, 1);
        EXPECT_EQ(parsed.table->columnDistance[0], 100.0f);
        EXPECT_EQ(parsed.table->columnDistance[2], 300.0f);
        ExpectCountingEntries(*parsed.table, 3);
        EXPECT_EQ(parsed.offset, 2.5);
    }
}

TEST(LookupFirstRow, ATabOrALoneCarriageReturnKeepsTheRowOpenIntoTheNextLine) {
    for (const std::string rows : {"100 200\t\n300\n", "100 200 \t \n300\n", "100 200\r300\n"}) {
        const Parsed parsed = Parse(rows + RestOfTable(3, "\n"));
        ASSERT_EQ(parsed.result, 1);
        EXPECT_EQ(parsed.table->columnDistance[2], 300.0f);
        ExpectCountingEntries(*parsed.table, 3);
    }
}

TEST(LookupFirstRow, BlankLinesBeforeItAreSkippedAndCarriageReturnLineFeedEndsIt) {
    const Parsed parsed = Parse("\n\r\n   \n\t\r\n100 200 \r\n" + RestOfTable(2, "\r\n"));
    ASSERT_EQ(parsed.result, 1);
    EXPECT_EQ(parsed.table->columnDistance[1], 200.0f);
    ExpectCountingEntries(*parsed.table, 2);
    EXPECT_EQ(parsed.offset, 2.5);
}

TEST(LookupFirstRow, ANumberEndsAtTheFirstCharacterThatCannotContinueIt) {
    // "-3" after "1.5" starts the next number; ".5", "5." and "+.5e+1" are numbers.
    const Parsed parsed = Parse("1.5-3 .5 5. +.5e+1 -1E2\n" + RestOfTable(6, " "));
    ASSERT_EQ(parsed.result, 1);
    EXPECT_EQ(parsed.table->columnDistance[0], 1.5f);
    EXPECT_EQ(parsed.table->columnDistance[1], -3.0f);
    EXPECT_EQ(parsed.table->columnDistance[2], 0.5f);
    EXPECT_EQ(parsed.table->columnDistance[3], 5.0f);
    EXPECT_EQ(parsed.table->columnDistance[4], 5.0f);
    EXPECT_EQ(parsed.table->columnDistance[5], -100.0f);
    ExpectCountingEntries(*parsed.table, 6);
}

TEST(LookupFirstRow, SixtyThreeColumnsAreReadAndASixtyFourthRefusesTheFile) {
    std::string row63;
    for (int j = 0; j < 63; ++j) row63 += std::to_string(j + 1) + " ";
    const Parsed wide = Parse(row63 + "\n" + RestOfTable(63, " "));
    ASSERT_EQ(wide.result, 1);
    EXPECT_EQ(wide.table->columnDistance[62], 63.0f);
    EXPECT_EQ(wide.table->rangeTable[255][62], 1000 + 63 + 9 + 256 * 63 - 1);

    // 63 numbers and a tab at the very end of the file: still 63 columns.
    EXPECT_EQ(Parse(row63 + "\t").result, 1);

    auto table = std::make_unique<LookupTable>();
    table->columnDistance[0] = 42.0f;
    double offset = 7.0;
    EXPECT_EQ(ParseLookupText(row63 + "64\n" + RestOfTable(64, " "), *table, offset, nullptr), 0);
    EXPECT_EQ(ParseLookupText(row63 + "\t\n64\n", *table, offset, nullptr), 0);
    EXPECT_EQ(table->columnDistance[0], 42.0f) << "a refused file leaves the table as it was";
    EXPECT_EQ(table->columnDistance[1], 0.0f);
    EXPECT_EQ(offset, 0.0);
}

TEST(LookupFirstRow, ATokenThatIsNoNumberRefusesTheFile) {
    for (const std::string text : {"100,200\n", "100 abc\n", "Distance\n100\n", "1e 2\n",
                                   "1e+\n", "- 5\n", ".\n", "+.\n", "100 200 x\n", "inf\n",
                                   "0x10\n"}) {
        SCOPED_TRACE(text);
        auto table = std::make_unique<LookupTable>();
        double offset = 3.0;
        EXPECT_EQ(ParseLookupText(text + RestOfTable(2, " "), *table, offset, nullptr), 0);
        EXPECT_EQ(offset, 0.0);
    }
}

TEST(LookupItems, NumbersAfterTheFirstRowFormOneStreamWhateverTheLineLayout) {
    const Parsed oneLine = Parse("10 20 30\n" + RestOfTable(3, " "));
    const Parsed manyLines = Parse("10 20 30\n" + RestOfTable(3, "\n"));
    const Parsed mixed = Parse("10 20 30\r\n" + RestOfTable(3, " \t\r\n\v\f"));
    ASSERT_EQ(oneLine.result, 1);
    ASSERT_EQ(manyLines.result, 1);
    ASSERT_EQ(mixed.result, 1);
    ExpectCountingEntries(*oneLine.table, 3);
    EXPECT_EQ(std::memcmp(oneLine.table.get(), manyLines.table.get(), sizeof(LookupTable)), 0);
    EXPECT_EQ(std::memcmp(oneLine.table.get(), mixed.table.get(), sizeof(LookupTable)), 0);
    EXPECT_EQ(manyLines.offset, 2.5);
    EXPECT_EQ(mixed.offset, 2.5);
}

TEST(LookupItems, AFileEndingEarlyOrAFailedReadKeepsTheRestZero) {
    // Ends right after item 4: offset 0, no warning.
    std::string complete = "10 20\n" + RestOfTable(2, " ", "");
    RecordingSink sink;
    auto table = std::make_unique<LookupTable>();
    double offset = 9.0;
    EXPECT_EQ(ParseLookupText(complete, *table, offset, &sink), 1);
    EXPECT_EQ(sink.error, "");
    EXPECT_EQ(offset, 0.0);
    EXPECT_EQ(table->rangeTable[255][1], 1000 + 2 + 9 + 511);

    // A bad token among the coefficients: it and everything after stay unread.
    const Parsed bad = Parse("10 20\n1 2 3 4 1e 6 7 8 9 10 11 12 13\n");
    ASSERT_EQ(bad.result, 1);
    EXPECT_EQ(bad.table->columnTemperature[1], 2.0f);
    EXPECT_EQ(bad.table->coefficient[1], 4.0f);
    EXPECT_EQ(bad.table->coefficient[2], 0.0f);
    EXPECT_EQ(bad.table->coefficient[3], 0.0f);
    EXPECT_EQ(bad.table->rangeTable[0][0], 0.0f);
    EXPECT_EQ(bad.offset, 0.0);

    // A bad offset token: offset 0, no warning.
    const Parsed badOffset = Parse("10 20\n" + RestOfTable(2, " ", "x5"));
    EXPECT_EQ(badOffset.result, 1);
    EXPECT_EQ(badOffset.offset, 0.0);
    ExpectCountingEntries(*badOffset.table, 2);
}

TEST(LookupItems, OffsetFromMinusTwentyToTwentyIsKeptAndBeyondItWarns) {
    for (const auto& [text, expected] : {std::pair<std::string, double>{"-20", -20.0},
                                         {"20", 20.0}, {"2e1", 20.0}, {"-0.125", -0.125}}) {
        RecordingSink sink;
        auto table = std::make_unique<LookupTable>();
        double offset = 1.0;
        EXPECT_EQ(ParseLookupText("5\n" + RestOfTable(1, " ", text), *table, offset, &sink), 1);
        EXPECT_EQ(sink.error, "");
        EXPECT_EQ(offset, expected);
    }
    for (const std::string text : {"20.001", "-20.0000001", "1e999", "-21"}) {
        SCOPED_TRACE(text);
        RecordingSink sink;
        auto table = std::make_unique<LookupTable>();
        double offset = 1.0;
        EXPECT_EQ(ParseLookupText("5\n" + RestOfTable(1, " ", text), *table, offset, &sink), 1);
        EXPECT_EQ(sink.error, kWarning);
        EXPECT_EQ(sink.output, "");
        EXPECT_EQ(offset, 0.0);
        ExpectCountingEntries(*table, 1);
    }
}

TEST(LookupValues, ItemsOneToFourAreRoundedOnceToSinglePrecisionAndTheOffsetToDouble) {
    // Just above the midpoint between 1 and the next float: rounding through
    // double would land on the midpoint and then on 1.
    const std::string aboveMidpoint = "1.0000000596046447753906250000000001";
    std::string text = aboveMidpoint + "\n0.1\n3.4028234e38 -3.4028234e38 1e-50 1e-40 0 0 0 0 0\n";
    for (int a = 0; a < kLookupRows; ++a) text += "1 ";
    const Parsed parsed = Parse(text + "0.1");
    ASSERT_EQ(parsed.result, 1);
    EXPECT_EQ(parsed.table->columnDistance[0], 1.00000011920928955078125f);
    EXPECT_EQ(parsed.table->columnTemperature[0], 0.1f);
    EXPECT_EQ(parsed.table->coefficient[0], std::numeric_limits<float>::max());
    EXPECT_EQ(parsed.table->coefficient[1], -std::numeric_limits<float>::max());
    EXPECT_EQ(parsed.table->coefficient[2], 0.0f);
    EXPECT_EQ(parsed.table->coefficient[3], std::strtof("1e-40", nullptr));
    EXPECT_GT(parsed.table->coefficient[3], 0.0f);
    EXPECT_EQ(parsed.offset, 0.1);
}

bool EveryEntryIsFinite(const LookupTable& table) {
    const auto finite = [](float value) { return std::isfinite(value); };
    bool all = std::all_of(table.columnDistance.begin(), table.columnDistance.end(), finite) &&
               std::all_of(table.columnTemperature.begin(), table.columnTemperature.end(), finite) &&
               std::all_of(table.coefficient.begin(), table.coefficient.end(), finite);
    for (const auto& row : table.rangeTable) all = all && std::all_of(row.begin(), row.end(), finite);
    return all;
}

TEST(LookupValues, AValueSinglePrecisionCannotHoldIsNoNumber) {
    // In the first row: the file is refused, as for any other non-number there.
    for (const char* row : {"1e39 2\n", "1 -1e39\n", "3.5e38\n"}) {
        const Parsed parsed = Parse(row + RestOfTable(2, " "));
        EXPECT_EQ(parsed.result, 0) << row;
    }
    // Later: the load ends there, and what follows keeps 0.
    const Parsed temperature = Parse("5\n1e39 " + RestOfTable(1, " "));
    ASSERT_EQ(temperature.result, 1);
    EXPECT_EQ(temperature.table->columnDistance[0], 5.0f);
    EXPECT_EQ(temperature.table->columnTemperature[0], 0.0f);
    EXPECT_EQ(temperature.table->coefficient[0], 0.0f);
    EXPECT_EQ(temperature.offset, 0.0);
    EXPECT_TRUE(EveryEntryIsFinite(*temperature.table));

    std::string text = "5\n7\n1 2 3 4 5 6 7 8 9\n10 11 -1e40 13\n";
    for (int a = 0; a < kLookupRows; ++a) text += "1 ";
    const Parsed range = Parse(text + "0.5");
    ASSERT_EQ(range.result, 1);
    EXPECT_EQ(range.table->coefficient[8], 9.0f);
    EXPECT_EQ(range.table->rangeTable[1][0], 11.0f);
    EXPECT_EQ(range.table->rangeTable[2][0], 0.0f);
    EXPECT_EQ(range.table->rangeTable[3][0], 0.0f);
    EXPECT_EQ(range.offset, 0.0);
    EXPECT_TRUE(EveryEntryIsFinite(*range.table));
}

TEST(LookupValues, AReloadStartsFromAnEmptyTable) {
    auto table = std::make_unique<LookupTable>();
    double offset = 0.0;
    std::string wide = "1 2 3 4 5\n" + RestOfTable(5, " ");
    ASSERT_EQ(ParseLookupText(wide, *table, offset, nullptr), 1);
    EXPECT_EQ(table->columnDistance[4], 5.0f);
    ASSERT_EQ(ParseLookupText("1 2\n" + RestOfTable(2, " "), *table, offset, nullptr), 1);
    for (int j = 2; j < kLookupColumns; ++j) {
        EXPECT_EQ(table->columnDistance[j], 0.0f);
        EXPECT_EQ(table->columnTemperature[j], 0.0f);
        for (const auto& row : table->rangeTable) ASSERT_EQ(row[j], 0.0f) << j;
    }
    ExpectCountingEntries(*table, 2);
}

class LookupFile : public testing::Test {
protected:
    void SetUp() override {
        directory_ = std::filesystem::temp_directory_path() /
                     ("velscan_lookup_" + std::to_string(std::random_device{}()) + "_" +
                      testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(directory_);
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::filesystem::path path = directory_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    std::filesystem::path directory_;
};

TEST_F(LookupFile, AFileWithoutNumbersIsRefusedAndSaysSo) {
    // A table of zeros would only fail at sampling, blaming the card.
    for (const std::string text : {"", " \r\n\t\n"}) {
        auto table = std::make_unique<LookupTable>();
        table->rangeTable[7][0] = 3.0f;
        double offset = 4.0;
        std::string reason;
        EXPECT_EQ(LoadLookupFile(Write("empty", text), *table, offset, nullptr, &reason), 0);
        EXPECT_EQ(reason, "it holds no numbers");
        EXPECT_EQ(offset, 0.0);
        EXPECT_EQ(table->rangeTable[7][0], 3.0f) << "a refused file leaves the table";
    }
    // A first row left open by a tab at the very end still counts as read.
    const Parsed open = Parse("5\t");
    EXPECT_EQ(open.result, 1);
    EXPECT_EQ(open.table->columnDistance[0], 5.0f);
}

TEST_F(LookupFile, EveryRefusalSaysWhy) {
    auto table = std::make_unique<LookupTable>();
    double offset = 0.0;
    std::string reason;
    EXPECT_EQ(LoadLookupFile((directory_ / "absent").string(), *table, offset, nullptr, &reason), 0);
    EXPECT_EQ(reason, "no such file or directory");
    EXPECT_EQ(LoadLookupFile(directory_.string(), *table, offset, nullptr, &reason), 0);
    EXPECT_EQ(reason, "not a regular file");
    EXPECT_EQ(LoadLookupFile(Write("word", "ten\n"), *table, offset, nullptr, &reason), 0);
    EXPECT_EQ(reason, "its first row holds a token that is not a number");
    std::string wide;
    for (int i = 0; i < 64; ++i) wide += "1 ";
    EXPECT_EQ(LoadLookupFile(Write("wide", wide + "\n"), *table, offset, nullptr, &reason), 0);
    EXPECT_EQ(reason, "its first row holds more than 63 numbers");
    EXPECT_EQ(LoadLookupFile(Write("big", std::string(kMaxLookupFileBytes + 1, '1')), *table,
                             offset, nullptr, &reason),
              0);
    EXPECT_EQ(reason, "larger than 1048576 bytes");
}

TEST_F(LookupFile, AMissingOrUnreadableFileLeavesTheTableAndZeroesTheOffset) {
    auto table = std::make_unique<LookupTable>();
    table->columnDistance[0] = 12.0f;
    double offset = 4.0;
    EXPECT_EQ(LoadLookupFile((directory_ / "absent").string(), *table, offset, nullptr), 0);
    EXPECT_EQ(offset, 0.0);
    offset = 4.0;
    EXPECT_EQ(LoadLookupFile(directory_.string(), *table, offset, nullptr), 0);
    EXPECT_EQ(offset, 0.0);
    EXPECT_EQ(table->columnDistance[0], 12.0f);
}

TEST_F(LookupFile, ReadLookupFileFillsTheProgramTableAndWarnsOnStandardError) {
    const std::string path = Write("LOOKUPHS", "100 200\r\n" + RestOfTable(2, "\r\n", "20.001"));
    testing::internal::CaptureStderr();
    double offset = 5.0;
    const LookupReading reading = ReadLookupFile(path, offset);
    EXPECT_EQ(reading.status, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), kWarning);
    EXPECT_EQ(reading.failure, "");
    EXPECT_TRUE(reading.olderVersion);
    EXPECT_EQ(offset, 0.0);
    EXPECT_EQ(ProgramLookupTable().columnDistance[1], 200.0f);
    ExpectCountingEntries(ProgramLookupTable(), 2);
    ProgramLookupTable() = LookupTable{};
}

TEST_F(LookupFile, ReadLookupFileSendsItsWarningsToTheInstalledSinkAndKeepsWhyItFailed) {
    const std::string path = Write("LOOKUPHS", "100 200\n" + RestOfTable(2, " ", "99"));
    RecordingSink sink;
    double offset = 5.0;
    {
        const ScopedMessageSink installed(sink);
        testing::internal::CaptureStderr();
        EXPECT_EQ(ReadLookupFile(path, offset).status, 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "nothing bypasses the sink";
        const LookupReading empty = ReadLookupFile(Write("empty", ""), offset);
        EXPECT_EQ(empty.status, 0);
        EXPECT_EQ(empty.failure, "it holds no numbers");
        EXPECT_FALSE(empty.olderVersion);
    }
    EXPECT_EQ(sink.error, kWarning);
    const LookupReading absent = ReadLookupFile(path + ".absent", offset);
    EXPECT_EQ(absent.status, 0);
    EXPECT_EQ(absent.failure, "no such file or directory");
    ProgramLookupTable() = LookupTable{};
}

}  // namespace
}  // namespace velscan
