// A table, capture and reconverted table named with every byte a file name
// may hold: velscan and velscan-reconvert save the scan, and an independent
// JSON reader finds the names, undone from their hex, in the metadata.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "velscan_fixture.hpp"

namespace velscan::e2e {
namespace {

namespace fs = std::filesystem;

// Python's json, with the metadata's rule for names undone: a string as it
// is, {"bytes": HEX} as those bytes. Prints 1 when `member` of `file` is the
// bytes of `expected` (given as hex).
bool NameInMetadata(const fs::path& dir, const std::string& file, const std::string& member, const std::string& expectedHex) {
    ProgramRun run;
    run.arguments = {"-c",
                     "import json,sys\n"
                     "d=json.load(open(bytes.fromhex(sys.argv[1]),'rb'))\n"
                     "v=eval(sys.argv[2])\n"
                     "b=bytes.fromhex(v['bytes']) if isinstance(v,dict) else v.encode('utf-8')\n"
                     "print(int(b==bytes.fromhex(sys.argv[3])))",
                     file, member, expectedHex};
    run.workingDirectory = dir;
    const ProgramResult result = Execute("/usr/bin/python3", run);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out == "1\n";
}

std::string Hex(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : bytes) {
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 15]);
    }
    return hex;
}

class NamesOfAnyBytes : public VelscanFixture {};

TEST_F(NamesOfAnyBytes, ATableCaptureAndReconversionOfEveryByteAreSavedWithTheirMetadata) {
    // Every byte but '/' and NUL, in a name short enough for ".json" beside it.
    std::string every;
    for (int byte = 1; byte <= 255; ++byte)
        if (byte != '/') every.push_back(static_cast<char>(byte));
    const std::string table = std::string("t").append(every, 0, 120);
    const std::string capture = std::string("c").append(every, 120);
    const std::string latin1 = "M\xe4rz.txt";

    const ProgramResult run = Velscan({table, "-l", "1"}, {{"VELSCAN_CAPTURE", capture}});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::exists(Work() / (table + ".json")));
    EXPECT_TRUE(NameInMetadata(Work(), Hex(table + ".json"), "d['table']['name']", Hex(table)));
    EXPECT_TRUE(NameInMetadata(Work(), Hex(table + ".json"), "d['commandLine'][1]", Hex(table)));
    EXPECT_TRUE(NameInMetadata(Work(), Hex(capture + ".json"), "d['capture']['name']", Hex(capture)));

    ProgramRun again;
    again.arguments = {capture, latin1};
    again.workingDirectory = Work();
    const ProgramResult reconverted = Execute(VELSCAN_RECONVERT_BINARY, again);
    ASSERT_EQ(reconverted.exitCode, 0) << reconverted.err;
    EXPECT_EQ(ReadFile(Work() / latin1), ReadFile(Work() / table));
    EXPECT_TRUE(NameInMetadata(Work(), Hex(latin1 + ".json"), "d['table']['name']", Hex(latin1)));
    EXPECT_TRUE(NameInMetadata(Work(), Hex(latin1 + ".json"), "d['reconverted']['from']['capture']", Hex(capture)));
    for (const auto& entry : fs::directory_iterator(Work()))
        EXPECT_FALSE(entry.path().filename().string().ends_with(".tmp")) << entry.path();
}

}  // namespace
}  // namespace velscan::e2e
