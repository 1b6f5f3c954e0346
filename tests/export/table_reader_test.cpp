// The table reader's short ways: numbers read without the general reader
// must give its doubles bit for bit, and a large table, read in two halves
// at once, must give every row in order and the first faulty line's message.

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "export/exact_decimal.hpp"
#include "export/scan_table.hpp"
#include "table_text.hpp"

namespace velscan::exporter {
namespace {

// The general reader's value of a whole field, as the table reader checks it.
bool GeneralReading(const std::string& text, double& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    return error == std::errc() && end == text.data() + text.size();
}

TEST(ExactDecimal, EveryNumberReadTheShortWayIsTheGeneralReadersDoubleBitForBit) {
    std::mt19937_64 random(20261210);
    std::vector<std::string> texts = {"0",          "-0",          "0.00",        "-0.00",
                                      "9007199254740992",          "900719925474099.3",
                                      "9007199254740993",          "0.9007199254740993",
                                      "1234567890123456789",       "0.0000000000000000000001",
                                      "0.00000000000000000000001", "2324.7801",   "308.49"};
    for (int i = 0; i < 200000; ++i) {
        // Up to 20 digits, the point anywhere among them or absent.
        const int digits = 1 + static_cast<int>(random() % 20);
        std::string text = random() % 4 == 0 ? "-" : "";
        const int point = static_cast<int>(random() % static_cast<unsigned>(digits + 1));
        for (int d = 0; d < digits; ++d) {
            if (d == point && d > 0) text += '.';
            text += static_cast<char>('0' + random() % 10);
        }
        texts.push_back(text);
    }
    std::size_t shortWay = 0;
    for (const std::string& text : texts) {
        double value = 0.0;
        const char* const end = ReadExactFixed(text.data(), text.data() + text.size(), value);
        if (end == nullptr) continue;
        ++shortWay;
        double general = 0.0;
        ASSERT_TRUE(GeneralReading(text, general)) << text;
        ASSERT_EQ(end, text.data() + text.size()) << text;
        ASSERT_EQ(std::bit_cast<std::uint64_t>(value), std::bit_cast<std::uint64_t>(general)) << text;
    }
    // Most of them: every one of at most 15 digits, and more.
    EXPECT_GT(shortWay, texts.size() / 2);
}

TEST(ExactDecimal, OtherFormsAndNumbersTooLongAreLeftToTheGeneralReader) {
    for (const std::string text : {"", "-", ".5", "5.", "+1", "-.5", "12345678901234567890", "9007199254740993",
                                   "0.00000000000000000000001", "inf", "nan"}) {
        double value = 0.0;
        EXPECT_EQ(ReadExactFixed(text.data(), text.data() + text.size(), value), nullptr) << text;
    }
}

// A table of `rows` rows, several MB, whose row r has the distance r / 100
// and the mirror angle r / 10000, with line ends `lineEnd`.
std::string LargeTable(std::size_t rows, const std::string& lineEnd = "\n") {
    std::string text = kTableHeader;
    for (std::size_t row = 0; row < rows; ++row)
        text.append(lineEnd).append(TableRow(Fixed(static_cast<double>(row) / 100.0, 2),
                                             Fixed(static_cast<double>(row) / 10000.0, 4), "2.8903"));
    return text;
}

std::string ErrorOf(const std::string& text) {
    try {
        ParseTable(text, "t");
    } catch (const TableError& error) {
        return error.what();
    }
    return "no error";
}

TEST(LargeTable, EveryRowIsReadInOrderWithEitherLineEnd) {
    constexpr std::size_t kRows = 60000;  // about 2.6 MB
    for (const std::string lineEnd : {"\n", "\r\n"}) {
        for (const std::string& text : {LargeTable(kRows, lineEnd), LargeTable(kRows, lineEnd) + lineEnd}) {
            const ScanTable table = ParseTable(text, "t");
            ASSERT_EQ(table.Rows(), kRows);
            for (std::size_t row = 0; row < kRows; ++row) {
                ASSERT_EQ(table.distance[row], static_cast<double>(row) / 100.0) << row;
                ASSERT_EQ(table.angle1[row], static_cast<double>(row) / 10000.0) << row;
            }
            EXPECT_EQ(table.rawRange.back(), 2207u);
            EXPECT_EQ(table.angle2.front(), 2.8903);
        }
    }
}

TEST(LargeTable, AFaultIsReportedOnItsOwnLineAndTheFirstFaultWins) {
    constexpr std::size_t kRows = 60000;
    const std::string table = LargeTable(kRows);
    // Line n + 2 holds row n (the header is line 1).
    const auto lineStart = [&table](std::size_t row) {
        std::size_t at = 0;
        for (std::size_t line = 0; line <= row; ++line) at = table.find('\n', at) + 1;
        return at;
    };
    std::string late = table;
    late[lineStart(50000)] = 'x';
    EXPECT_TRUE(ErrorOf(late).starts_with("t:50002: field 1 (Distance(inches)) is not a valid value: 'x00.00'"))
        << ErrorOf(late);

    std::string both = late;
    both[lineStart(100)] = 'y';
    EXPECT_TRUE(ErrorOf(both).starts_with("t:102: field 1")) << ErrorOf(both);

    std::string emptyLine = table.substr(0, lineStart(59999));
    emptyLine += '\n';
    emptyLine.append(table, lineStart(59999));
    EXPECT_EQ(ErrorOf(emptyLine), "t:60001: empty line, expected 8 fields");
}

TEST(LargeTable, MoreRowsThanVelscanRecordsAreRefusedAtTheFirstRowTooMany) {
    std::string row(1, '\n');
    row += TableRow("1.00", "1.0000", "2.0000");
    std::string text = kTableHeader;
    text.reserve(text.size() + (kMaxRows + 1) * row.size());
    for (std::size_t i = 0; i <= kMaxRows; ++i) text += row;
    EXPECT_EQ(ErrorOf(text), "t:" + std::to_string(kMaxRows + 2) + ": more than " + std::to_string(kMaxRows) +
                                 " rows, more than velscan records");
    text.resize(text.size() - row.size());
    EXPECT_EQ(ParseTable(text, "t").Rows(), kMaxRows);
}

}  // namespace
}  // namespace velscan::exporter
