#include "acquisition/command_line.hpp"
#include "conversion/decimal_value.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "cardlib_fixture.hpp"

namespace velscan {
namespace {

// A temporary stream that the parser prints to, read back as text.
class CapturedStream {
public:
    CapturedStream() : file_(std::tmpfile(), &std::fclose) {}
    std::FILE* get() const { return file_.get(); }
    std::string Text() const {
        std::fflush(file_.get());
        std::rewind(file_.get());
        std::string text;
        for (int c = std::fgetc(file_.get()); c != EOF; c = std::fgetc(file_.get())) {
            text.push_back(static_cast<char>(c));
        }
        return text;
    }

private:
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
};

struct ParseResult {
    CommandLine commandLine;
    std::string out;
    std::string err;
};

ParseResult Parse(std::initializer_list<const char*> arguments) {
    std::vector<const char*> argv{"velscan"};
    argv.insert(argv.end(), arguments);
    CapturedStream out;
    CapturedStream err;
    CommandLine commandLine =
        ParseCommandLine(static_cast<int>(argv.size()), argv.data(), out.get(), err.get());
    return {std::move(commandLine), out.Text(), err.Text()};
}

RunSettings SettingsOf(const ParseResult& result) {
    const auto* settings = std::get_if<RunSettings>(&result.commandLine);
    EXPECT_NE(settings, nullptr) << "out: " << result.out << " err: " << result.err;
    return settings != nullptr ? *settings : RunSettings{};
}

int ErrorCodeOf(const ParseResult& result) {
    const auto* error = std::get_if<CommandLineError>(&result.commandLine);
    EXPECT_NE(error, nullptr);
    return error != nullptr ? error->exitCode : -1;
}

TEST(ParseDecimalValue, ReadsSignAndDigitsAfterWhiteSpaceAndStopsAtTheFirstOtherCharacter) {
    EXPECT_EQ(ParseDecimalValue("40"), 40);
    EXPECT_EQ(ParseDecimalValue(" +7"), 7);
    EXPECT_EQ(ParseDecimalValue("\t\n\v\f\r 12"), 12);
    EXPECT_EQ(ParseDecimalValue("-0"), 0);
    EXPECT_EQ(ParseDecimalValue("-25"), -25);
    EXPECT_EQ(ParseDecimalValue("3x"), 3);
    EXPECT_EQ(ParseDecimalValue("ten"), 0);
    EXPECT_EQ(ParseDecimalValue(""), 0);
    EXPECT_EQ(ParseDecimalValue("-"), 0);
    EXPECT_EQ(ParseDecimalValue("+-5"), 0);  // one sign only
    EXPECT_EQ(ParseDecimalValue("- 5"), 0);  // no white space after the sign
    EXPECT_EQ(ParseDecimalValue("1 2"), 1);
    EXPECT_EQ(ParseDecimalValue("007"), 7);
}

TEST(ParseDecimalValue, LongNumbersWrapAroundIn32Bits) {
    EXPECT_EQ(ParseDecimalValue("2147483647"), 2147483647);
    EXPECT_EQ(ParseDecimalValue("2147483648"), -2147483647 - 1);
    EXPECT_EQ(ParseDecimalValue("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(ParseDecimalValue("4294967295"), -1);
    EXPECT_EQ(ParseDecimalValue("4294967296"), 0);
    EXPECT_EQ(ParseDecimalValue("4294967297"), 1);
    EXPECT_EQ(ParseDecimalValue("-4294967297"), -1);
    // 12345678901234567890 mod 2^32 = 3944680146, which is -350287150 as signed.
    EXPECT_EQ(ParseDecimalValue("12345678901234567890"), -350287150);
}

TEST(ParseCommandLine, NoArgumentsAsksForTheUsageTextAndPrintsNothing) {
    const ParseResult result = Parse({});
    EXPECT_TRUE(std::holds_alternative<ShowUsage>(result.commandLine));
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
}

TEST(ParseCommandLine, AFirstArgumentAskingForHelpOrTheVersionIsNoFileNameWhateverFollows) {
    const ParseResult none = Parse({});
    ASSERT_TRUE(std::holds_alternative<ShowUsage>(none.commandLine));
    EXPECT_FALSE(std::get<ShowUsage>(none.commandLine).asked) << "no arguments: wait for Enter";
    for (const char* request : {"-h", "-?", "/?", "--help"}) {
        for (const ParseResult& help : {Parse({request}), Parse({request, "-l", "2"})}) {
            ASSERT_TRUE(std::holds_alternative<ShowUsage>(help.commandLine)) << request;
            EXPECT_TRUE(std::get<ShowUsage>(help.commandLine).asked) << request;
            EXPECT_EQ(help.out + help.err, "") << request;
        }
    }
    for (const ParseResult& version : {Parse({"--version"}), Parse({"--version", "-x"})}) {
        EXPECT_TRUE(std::holds_alternative<ShowVersion>(version.commandLine));
        EXPECT_EQ(version.out + version.err, "");
    }
    // Only the first argument, and only these exact words.
    for (const char* name : {"--helpx", "-H", "-help", "/h", "--Version", "-v", "?"})
        EXPECT_EQ(SettingsOf(Parse({name})).outputFileName, name);
    EXPECT_EQ(ErrorCodeOf(Parse({"scan.txt", "--help", "1"})), 2);
}

TEST(ParseCommandLine, OnlyTheFileNameKeepsEveryDefault) {
    const RunSettings settings = SettingsOf(Parse({"scan.txt"}));
    EXPECT_EQ(settings.outputFileName, "scan.txt");
    EXPECT_EQ(settings.portNumber, 1);
    EXPECT_EQ(settings.boardNumber, 1);
    EXPECT_EQ(settings.samplePeriod, 20);
    EXPECT_EQ(settings.lines, 200);
    EXPECT_EQ(settings.maxRange, 650);
    EXPECT_EQ(settings.motorNumber, 1);
    EXPECT_EQ(settings.motorPower, 255);
}

TEST(ParseCommandLine, EachLetterSetsItsOwnSetting) {
    const RunSettings settings = SettingsOf(Parse({"out", "-c", "3", "-b", "2", "-s", "40", "-l",
                                                   "10", "-r", "300", "-m", "2", "-p", "128"}));
    EXPECT_EQ(settings.portNumber, 3);
    EXPECT_EQ(settings.boardNumber, 2);
    EXPECT_EQ(settings.samplePeriod, 40);
    EXPECT_EQ(settings.lines, 10);
    EXPECT_EQ(settings.maxRange, 300);
    EXPECT_EQ(settings.motorNumber, 2);
    EXPECT_EQ(settings.motorPower, 128);
}

TEST(ParseCommandLine, OnlyTheSecondCharacterOfAnOptionCountsAndTheLastValueWins) {
    EXPECT_EQ(SettingsOf(Parse({"out", "-l", "10", "-l", "20"})).lines, 20);
    EXPECT_EQ(SettingsOf(Parse({"out", "/s", "40"})).samplePeriod, 40);
    EXPECT_EQ(SettingsOf(Parse({"out", "-sample", "40"})).samplePeriod, 40);
    EXPECT_EQ(SettingsOf(Parse({"out", "xr", "100"})).maxRange, 100);
}

TEST(ParseCommandLine, ValuesReadAsTheirLeadingNumber) {
    EXPECT_EQ(SettingsOf(Parse({"out", "-l", "ten"})).lines, 0);
    EXPECT_EQ(SettingsOf(Parse({"out", "-c", "3x"})).portNumber, 3);
    EXPECT_EQ(SettingsOf(Parse({"out", "-c", " +7"})).portNumber, 7);
    EXPECT_EQ(SettingsOf(Parse({"out", "-l", "-0"})).lines, 0);
    EXPECT_EQ(SettingsOf(Parse({"out", "-c", "-5"})).portNumber, -5);  // checked by its consumer
    EXPECT_EQ(SettingsOf(Parse({"out", "-p", "4294967551"})).motorPower, 255);  // 2^32 + 255
}

TEST(ParseCommandLine, TheFirstArgumentIsAlwaysTheFileName) {
    const RunSettings settings = SettingsOf(Parse({"-c", "-l", "5"}));
    EXPECT_EQ(settings.outputFileName, "-c");
    EXPECT_EQ(settings.portNumber, 1);
    EXPECT_EQ(settings.lines, 5);
}

// The documented two lines on standard output, unchanged; then, on standard
// error, what was expected in the option's place and what was given.
TEST(ParseCommandLine, AnUnknownLetterIsReportedOnStandardOutputThenExplainedAndEndsWithCode2) {
    constexpr const char* kExpected = "Error: expected an option (-b, -c, -l, -m, -p, -r or -s) "
                                      "followed by its value, not ";
    const ParseResult upper = Parse({"out", "-S", "40"});
    EXPECT_EQ(ErrorCodeOf(upper), 2);
    EXPECT_EQ(upper.out, "unknown argument: -S\ntype velscan without any parameters for help");
    EXPECT_EQ(upper.err, std::string(kExpected) + "\"-S\"\n");

    // Parsing stops at the unknown option: the later missing value is not reported.
    const ParseResult stops = Parse({"out", "-l", "5", "-x", "1", "-c"});
    EXPECT_EQ(ErrorCodeOf(stops), 2);
    EXPECT_EQ(stops.out, "unknown argument: -x\ntype velscan without any parameters for help");
    EXPECT_EQ(stops.err, std::string(kExpected) + "\"-x\"\n");

    // An option too short to have a second character names nothing.
    const ParseResult bare = Parse({"out", "-", "1"});
    EXPECT_EQ(ErrorCodeOf(bare), 2);
    EXPECT_EQ(bare.out, "unknown argument: -\ntype velscan without any parameters for help");
    const ParseResult empty = Parse({"out", "", "1"});
    EXPECT_EQ(ErrorCodeOf(empty), 2);
    EXPECT_EQ(empty.out, "unknown argument: -\ntype velscan without any parameters for help");
    EXPECT_EQ(empty.err, std::string(kExpected) + "\"\"\n");

    // The argument is shown with its control bytes escaped.
    EXPECT_EQ(Parse({"out", "-\x1b]0;x", "1"}).err, std::string(kExpected) + "\"-\\x1b]0;x\"\n");
}

TEST(ParseCommandLine, ALongOptionIsExplainedAsOneDashAndOneLetter) {
    const ParseResult result = Parse({"scan.txt", "--lines", "10"});
    EXPECT_EQ(ErrorCodeOf(result), 2);
    EXPECT_EQ(result.out, "unknown argument: --\ntype velscan without any parameters for help");
    EXPECT_EQ(result.err,
              "Error: \"--lines\" is not an option: an option is one dash and one letter "
              "(-b, -c, -l, -m, -p, -r or -s), then its value\n");
}

// "velscan -l 10 scan.txt": the option was taken as the table's name and its
// value as an option.
TEST(ParseCommandLine, AnOptionGivenBeforeTheTableNameSaysTheNameComesFirst) {
    const ParseResult shifted = Parse({"-l", "10", "scan.txt"});
    EXPECT_EQ(ErrorCodeOf(shifted), 2);
    EXPECT_EQ(shifted.out, "unknown argument: -0\ntype velscan without any parameters for help");
    EXPECT_EQ(shifted.err,
              "Error: expected an option (-b, -c, -l, -m, -p, -r or -s) followed by its value, "
              "not \"10\"\n"
              "Error: the table's name comes first, then the options (velscan scan.txt -l 10); "
              "\"-l\" was taken as the table's name\n");

    // The same mistake where the table's name then reads as an option.
    const ParseResult noValue = Parse({"-c", "3", "-l"});
    EXPECT_EQ(ErrorCodeOf(noValue), 2);
    EXPECT_EQ(noValue.out, "unknown argument: -\ntype velscan without any parameters for help");
    const ParseResult missing = Parse({"-s", "-l"});
    EXPECT_EQ(ErrorCodeOf(missing), 2);
    EXPECT_EQ(missing.err,
              "Error: option -l needs a value\n"
              "Error: the table's name comes first, then the options; \"-s\" was taken as the "
              "table's name\n");

    // A first argument that only starts with a dash is no option: no such line.
    const ParseResult dashName = Parse({"-scan.txt", "10"});
    EXPECT_EQ(dashName.err.find("comes first"), std::string::npos) << dashName.err;
}

TEST(ParseCommandLine, AKnownOptionWithoutValueIsReportedOnStandardError) {
    const ParseResult result = Parse({"out", "-c", "2", "-l"});
    EXPECT_EQ(ErrorCodeOf(result), 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Error: option -l needs a value\n");
}

TEST(ParseCommandLine, LinesMustBeFrom0To200) {
    EXPECT_EQ(SettingsOf(Parse({"out", "-l", "0"})).lines, 0);
    EXPECT_EQ(SettingsOf(Parse({"out", "-l", "200"})).lines, 200);
    for (const char* value : {"201", "-1", "4294967497"}) {
        const ParseResult result = Parse({"out", "-l", value});
        EXPECT_EQ(ErrorCodeOf(result), 2) << value;
        EXPECT_EQ(result.out, "") << value;
        EXPECT_EQ(result.err, "Error: lines must be from 0 to 200\n") << value;
    }
    // The last value counts: an early out-of-range value is replaced.
    EXPECT_EQ(SettingsOf(Parse({"out", "-l", "500", "-l", "7"})).lines, 7);
}

TEST(ParseCommandLine, AMotorOrPowerTheCardWouldRefuseIsRefusedWithTheRangeAndTheValue) {
    struct Refusal {
        std::initializer_list<const char*> arguments;
        const char* err;
    };
    const Refusal refusals[] = {
        {{"out", "-m", "3"}, "Error: motor must be 1 or 2, not 3\n"},
        {{"out", "-m", "0"}, "Error: motor must be 1 or 2, not 0\n"},
        {{"out", "-m", "-1"}, "Error: motor must be 1 or 2, not -1\n"},
        {{"out", "-p", "256"}, "Error: motor power must be from 0 to 255, not 256\n"},
        {{"out", "-p", "-1"}, "Error: motor power must be from 0 to 255, not -1\n"},
        {{"out", "-p", "4294967295000"}, "Error: motor power must be from 0 to 255, not -1000\n"},
        // Lines are judged first, then the motor, then its power: one message.
        {{"out", "-p", "300", "-m", "3", "-l", "201"}, "Error: lines must be from 0 to 200\n"},
        {{"out", "-p", "300", "-m", "3"}, "Error: motor must be 1 or 2, not 3\n"},
    };
    for (const Refusal& refusal : refusals) {
        const ParseResult result = Parse(refusal.arguments);
        EXPECT_EQ(ErrorCodeOf(result), 2) << refusal.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, refusal.err);
    }
    // The last value counts.
    EXPECT_EQ(SettingsOf(Parse({"out", "-m", "7", "-m", "2"})).motorNumber, 2);
    EXPECT_EQ(SettingsOf(Parse({"out", "-p", "0"})).motorPower, 0);
}

TEST(ParseCommandLine, ASamplePeriodOrRangeOutOfBoundsIsRefusedWithTheBoundsAndTheValue) {
    struct Refusal {
        std::initializer_list<const char*> arguments;
        const char* err;
    };
    constexpr const char* kCardMessage = "Error: Failed to set sample and range\n";
    const Refusal refusals[] = {
        {{"out", "-s", "5"}, "Error: the sample period (-s) must be from 20 to 9999999 microseconds, not 5\n"},
        {{"out", "-s", "19"}, "Error: the sample period (-s) must be from 20 to 9999999 microseconds, not 19\n"},
        {{"out", "-s", "10000000"},
         "Error: the sample period (-s) must be from 20 to 9999999 microseconds, not 10000000\n"},
        {{"out", "-s", "-40"}, "Error: the sample period (-s) must be from 20 to 9999999 microseconds, not -40\n"},
    };
    for (const Refusal& refusal : refusals) {
        const ParseResult result = Parse(refusal.arguments);
        EXPECT_EQ(ErrorCodeOf(result), 2) << refusal.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, std::string(kCardMessage) + refusal.err);
    }
    // Every maximum range is taken, as the card takes it.
    for (const char* range : {"0", "-48", "abc"})
        EXPECT_EQ(SettingsOf(Parse({"out", "-r", range})).maxRange, ParseDecimalValue(range)) << range;
    EXPECT_EQ(SettingsOf(Parse({"out", "-s", "9999999"})).samplePeriod, 9999999);
}

// The command line takes exactly the motor numbers and power levels that the
// card library's motor command takes, so a run never starts with a motor the
// card refuses.
class MotorValuesTest : public cardtest::CardFixture {};

TEST_F(MotorValuesTest, TheCommandLineAcceptsExactlyWhatTheCardLibraryAccepts) {
    const std::uint32_t board = OpenBoard();
    for (const char* motor : {"-1", "0", "1", "2", "3", "4294967297"}) {
        for (const char* power : {"-1", "0", "1", "254", "255", "256", "4294967295"}) {
            const ParseResult parsed = Parse({"out", "-m", motor, "-p", power});
            const bool cardAccepts =
                VexaSetMotorPower(board, static_cast<std::uint32_t>(ParseDecimalValue(motor)),
                                  static_cast<std::uint32_t>(ParseDecimalValue(power))) == 1;
            EXPECT_EQ(std::holds_alternative<RunSettings>(parsed.commandLine), cardAccepts)
                << "-m " << motor << " -p " << power << ": " << parsed.err;
        }
    }
}

// The sample periods the command line takes are the ones the card library
// stores, so a run never reaches the hardware with one it refuses.
TEST_F(MotorValuesTest, TheCommandLineAcceptsExactlyTheSamplePeriodsTheCardLibraryAccepts) {
    const std::uint32_t board = OpenBoard();
    for (const char* period : {"-1", "0", "19", "20", "21", "9999998", "9999999", "10000000", "4294967316"}) {
        const ParseResult parsed = Parse({"out", "-s", period});
        const auto value = static_cast<std::uint32_t>(ParseDecimalValue(period));
        BoardTable()[board].samplePeriod = 12345;  // none of the periods tried
        (void)VexaSetSampleAndRange(board, nullptr, 650, value);
        const bool cardAccepts = BoardTable()[board].samplePeriod == value;
        EXPECT_EQ(std::holds_alternative<RunSettings>(parsed.commandLine), cardAccepts)
            << "-s " << period << ": " << parsed.err;
    }
}

TEST(PrintUsage, PrintsTheNineLines) {
    CapturedStream out;
    PrintUsage(out.get());
    EXPECT_EQ(out.Text(),
              "usage: velscan <Laserfile><options>\n"
              "Available options are: \n"
              "-c <comm port number for Laser> where the default is 1.\n"
              "-b <VEXA board number> where the default is 1.\n"
              "-s <sample period> where the default is 20us.\n"
              "-l <lines - numbers of buffer> where the default is 200 which means 1000000 "
              "samples (15M).\n"
              "-r <max range> where the default is 650 inches.\n"
              "-m <motor number> where the default is 1.\n"
              "-p <motor power level> where the default is 255 which means the highest speed\n");
}

}  // namespace
}  // namespace velscan
