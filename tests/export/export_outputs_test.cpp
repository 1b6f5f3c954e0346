// velscan-export's outputs as files: two names of one file are refused, a
// failed output replaces no other, a FIFO never blocks, a dangling link is
// written through, a target made a folder during the run changes no output,
// and a request to end leaves no unfinished output.

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "export_fixture.hpp"
#include "program_run.hpp"

namespace velscan::exporter {
namespace {

namespace fs = std::filesystem;

const std::string kTable =
    "Distance(inches)\tRaw Range(bits)\tAmplitude\tTemp(F)\tAngle1(radins)\tAngle2(radins\t"
    "Index1\tIndex2\t\n308.49\t2207\t79.0\t69.8\t2324.7801\t2.8903\t0\t0\t\n"
    "308.57\t2208\t76.0\t69.8\t2324.7832\t2.8903\t0\t0\t";

class ExportOutputs : public ExportFolder {
protected:
    ExportOutputs() : ExportFolder("export-outputs") {}
    void SetUp() override { Write("t", kTable); }
    e2e::ProgramResult Export(const std::vector<std::string>& arguments,
                              std::optional<long> fileSizeLimit = std::nullopt) {
        return e2e::Execute(VELSCAN_EXPORT_BINARY,
                            {arguments, {}, std::nullopt, dir_.Path(), fileSizeLimit});
    }
};

TEST_F(ExportOutputs, TwoNamesOfOneNewFileAreRefusedLikeOneNameTwice) {
    fs::create_directory(dir_.Path() / "sub");
    fs::create_symlink("o.ply", dir_.Path() / "link");  // dangling: names o.ply
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"t", "--ply", "o.ply", "--png", "./o.ply"},
             {"t", "--ply", "sub/../o.ply", "--amplitude-png", "o.ply"},
             {"t", "--ply", "link", "--png", "o.ply"},
             {"t", "--png", "./t"}}) {
        SCOPED_TRACE(arguments[2] + " " + arguments.back());
        const e2e::ProgramResult result = Export(arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.err.find("usage: velscan-export"), std::string::npos) << result.err;
    }
    EXPECT_EQ(Read("t"), kTable);
    EXPECT_EQ(Files(), (std::vector<std::string>{"link", "sub", "t"}));
}

// A table whose point cloud is small and whose amplitude picture is large:
// 20 lines of the simulated room, with a range in one row of 1000 only.
std::string SparseTable(const fs::path& directory) {
    std::istringstream rows(e2e::ReadFile(SimulatedTable(directory, "full.txt", {"-l", "20"}, {})));
    std::string sparse;
    std::string row;
    for (int index = 0; std::getline(rows, row); ++index) {
        if (index > 0 && index % 1000 != 1) row = "0.00" + row.substr(row.find('\t'));
        sparse += (index > 0 ? "\n" : "") + row;
    }
    fs::remove(directory / "full.txt");
    fs::remove(directory / "LOOKUPHS");
    return sparse;
}

TEST_F(ExportOutputs, AnOutputThatFailsLateReplacesNoEarlierOne) {
    Write("t", SparseTable(dir_.Path()));
    const e2e::ProgramResult sizes =
        Export({"t", "--ply", "o.ply", "--png", "o.png", "--amplitude-png", "a.png"});
    ASSERT_EQ(sizes.exitCode, 0) << sizes.err;
    // The limit below lies between the first two outputs and the last.
    ASSERT_LT(fs::file_size(dir_.Path() / "o.ply"), 8000u);
    ASSERT_LT(fs::file_size(dir_.Path() / "o.png"), 8000u);
    ASSERT_GT(fs::file_size(dir_.Path() / "a.png"), 8000u);

    Write("o.ply", "OLD CLOUD");
    Write("o.png", "OLD PICTURE");
    fs::remove(dir_.Path() / "a.png");
    const e2e::ProgramResult result =
        Export({"t", "--ply", "o.ply", "--png", "o.png", "--amplitude-png", "a.png"}, 8000);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err.rfind("velscan-export: Error: writing a.png failed", 0), 0u) << result.err;
    EXPECT_EQ(Read("o.ply"), "OLD CLOUD");
    EXPECT_EQ(Read("o.png"), "OLD PICTURE");
    EXPECT_EQ(Files(), (std::vector<std::string>{"o.ply", "o.png", "t"}));
}

TEST_F(ExportOutputs, AFifoOutputIsRefusedWithoutAReaderAndWrittenInPlaceWithOne) {
    ASSERT_EQ(::mkfifo((dir_.Path() / "o.ply").c_str(), 0600), 0);
    const e2e::ProgramResult alone = Export({"t", "--ply", "o.ply"});
    EXPECT_EQ(alone.exitCode, 3);
    EXPECT_EQ(alone.err, "velscan-export: Error: Can't create the file o.ply\n");

    // The cloud of two points fits in the pipe's buffer: read after the run.
    const int reader = ::open((dir_.Path() / "o.ply").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const e2e::ProgramResult read = Export({"t", "--ply", "o.ply"});
    EXPECT_EQ(read.exitCode, 0) << read.err;
    char received[4096] = {};
    const ssize_t bytes = ::read(reader, received, sizeof received);
    ::close(reader);
    ASSERT_GT(bytes, 0);
    EXPECT_EQ(std::string(received, 4), "ply\n");
    EXPECT_TRUE(fs::is_fifo(dir_.Path() / "o.ply"));
    EXPECT_EQ(Files(), (std::vector<std::string>{"o.ply", "t"}));
}

TEST_F(ExportOutputs, ADanglingLinkIsWrittenThroughAndStaysALink) {
    fs::create_directory(dir_.Path() / "clouds");
    fs::create_symlink("clouds/room.ply", dir_.Path() / "o.ply");
    const e2e::ProgramResult result = Export({"t", "--ply", "o.ply"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(fs::is_symlink(dir_.Path() / "o.ply"));
    EXPECT_EQ(Read("clouds/room.ply").substr(0, 4), "ply\n");
    EXPECT_EQ(Files(), (std::vector<std::string>{"clouds", "o.ply", "t"}));
}

// --- the outputs written when none is named ---------------------------------

// The lines after the summary that say where the default outputs went.
std::string WroteLines(const std::string& out) {
    const std::size_t start = out.find("Wrote ");
    return start == std::string::npos ? std::string() : out.substr(start);
}

TEST_F(ExportOutputs, ATableAloneGivesTheRangePictureAndTheViewerBesideItAndSaysWhere) {
    fs::create_directory(dir_.Path() / "scans");
    Write("scans/scan.txt", kTable);
    const e2e::ProgramResult result = Export({"scans/scan.txt"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(WroteLines(result.out),
              "Wrote the range picture to scans/scan.png\nWrote the viewer to scans/scan.html\n");
    EXPECT_EQ(result.out.rfind("rows read: 2\n", 0), 0u) << "the summary comes first";
    EXPECT_EQ(Read("scans/scan.png").substr(1, 3), "PNG");
    EXPECT_EQ(Read("scans/scan.html").rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_EQ(Read("scans/scan.txt"), kTable);
    EXPECT_EQ(Files(), (std::vector<std::string>{"scans", "t"}));
}

TEST_F(ExportOutputs, ATableWithoutExtensionGetsTheExtensionsAppended) {
    const e2e::ProgramResult result = Export({"t"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(WroteLines(result.out), "Wrote the range picture to t.png\nWrote the viewer to t.html\n");
    EXPECT_EQ(Files(), (std::vector<std::string>{"t", "t.html", "t.png"}));
}

TEST_F(ExportOutputs, TheDefaultOutputsReplaceEarlierFilesOfTheirNames) {
    Write("t.png", "old picture");
    Write("t.html", "old page");
    ASSERT_EQ(Export({"t"}).exitCode, 0);
    EXPECT_EQ(Read("t.png").substr(1, 3), "PNG");
    EXPECT_NE(Read("t.html").find("var cloud = "), std::string::npos);
}

TEST_F(ExportOutputs, ATableNamedAsADefaultOutputIsRefusedAndNothingIsWritten) {
    for (const std::string name : {"scan.png", "scan.html"}) {
        SCOPED_TRACE(name);
        Write(name, kTable);
        const e2e::ProgramResult result = Export({name});
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.err.find("the output " + name + " is the table itself"), std::string::npos)
            << result.err;
        EXPECT_EQ(Read(name), kTable);
        EXPECT_EQ(Files(), (std::vector<std::string>{name, "t"}));
        fs::remove(dir_.Path() / name);
    }
}

// The table's metadata file is the scan's record: no output may take its
// place, by its own name, another name of it, or as a default output.
TEST_F(ExportOutputs, TheTablesMetadataFileIsRefusedAsAnOutputByAnyOfItsNames) {
    const std::string record = "{\"format\": \"the scan's record\"}";
    Write("t.json", record);
    fs::create_symlink("t.json", dir_.Path() / "record");
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"t", "--html", "t.json"}, {"t", "--png", "o.png", "--ply", "./t.json"}, {"t", "--pcd", "record"}}) {
        SCOPED_TRACE(arguments.back());
        const e2e::ProgramResult result = Export(arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.err.find("the output " + arguments.back() + " is the table's metadata file"),
                  std::string::npos)
            << result.err;
    }
    // Also when the table has no metadata file yet.
    Write("u", kTable);
    const e2e::ProgramResult result = Export({"u", "--ply", "u.json"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("the output u.json is the table's metadata file"), std::string::npos) << result.err;
    EXPECT_EQ(Read("t.json"), record);
    EXPECT_EQ(Files(), (std::vector<std::string>{"record", "t", "t.json", "u"}));
}

TEST_F(ExportOutputs, AnyOutputOptionTurnsTheDefaultsOffAndTheirLinesWithThem) {
    const e2e::ProgramResult result = Export({"t", "--ply", "o.ply"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(WroteLines(result.out), "");
    EXPECT_EQ(Files(), (std::vector<std::string>{"o.ply", "t"}));
}

TEST_F(ExportOutputs, ADefaultOutputNameWithAControlByteIsShownEscaped) {
    Write("t\x1b.txt", kTable);
    const e2e::ProgramResult result = Export({"t\x1b.txt"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(WroteLines(result.out),
              "Wrote the range picture to t\\x1b.png\nWrote the viewer to t\\x1b.html\n");
    EXPECT_TRUE(fs::exists(dir_.Path() / "t\x1b.html"));
}

// A FIFO among the outputs whose reader reads nothing until told: the export
// stops in it once its buffer is full, with the outputs before it written
// and not yet put in place.
class StalledFifo {
public:
    explicit StalledFifo(const fs::path& path) {
        if (::mkfifo(path.c_str(), 0600) == 0) reader_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    }
    ~StalledFifo() {
        if (reader_ >= 0) ::close(reader_);
    }
    StalledFifo(const StalledFifo&) = delete;
    StalledFifo& operator=(const StalledFifo&) = delete;

    // True once the writer filled the pipe (polled, at most a minute).
    bool WaitUntilFull() const {
        for (int waited = 0; reader_ >= 0 && waited < 60000; ++waited) {
            int queued = 0;
            if (::ioctl(reader_, FIONREAD, &queued) == 0 && queued >= 65536) return true;
            ::usleep(1000);
        }
        return false;
    }
    // Reads everything until the writer closes its end.
    void Drain() const {
        (void)::fcntl(reader_, F_SETFL, ::fcntl(reader_, F_GETFL) & ~O_NONBLOCK);
        char buffer[65536];
        while (::read(reader_, buffer, sizeof buffer) > 0) {
        }
    }

private:
    int reader_ = -1;
};

class ExportOfALargeTable : public ExportOutputs {
protected:
    void SetUp() override {
        SimulatedTable(dir_.Path(), "t", {"-l", "200"}, {});
        fs::remove(dir_.Path() / "LOOKUPHS");
        for (const char* name : {"o.png", "o.ply", "o.ptx", "o.html", "a.png"})
            Write(name, std::string("OLD ") + name);
    }
    std::unique_ptr<e2e::RunningProgram> Start(const std::vector<std::string>& arguments) {
        return std::make_unique<e2e::RunningProgram>(
            VELSCAN_EXPORT_BINARY, e2e::ProgramRun{arguments, {}, std::nullopt, dir_.Path(), std::nullopt});
    }
    // Every output as it was, and no unfinished file beside them.
    void ExpectEveryOutputAsItWas() {
        for (const char* name : {"o.png", "o.ply", "o.ptx", "o.html", "a.png"})
            EXPECT_EQ(Read(name), std::string("OLD ") + name);
        for (const std::string& name : Files()) EXPECT_FALSE(name.starts_with(".velscan")) << name;
    }
};

// o.ply becomes a folder after it was written, while the outputs after it
// are written: found before any output is renamed, so o.png, written and
// renamed first, keeps its earlier content too.
TEST_F(ExportOfALargeTable, AnOutputMadeAFolderDuringTheRunChangesNoOutput) {
    const StalledFifo fifo(dir_.Path() / "pipe");
    const auto program = Start({"t", "--png", "o.png", "--ply", "o.ply", "--pcd", "pipe"});
    ASSERT_TRUE(fifo.WaitUntilFull());
    fs::remove(dir_.Path() / "o.ply");
    fs::create_directories(dir_.Path() / "o.ply" / "inside");
    fifo.Drain();
    const e2e::ProgramResult result = program->Wait();
    EXPECT_EQ(result.exitCode, 3);
    // The grid's warning about rows it leaves out may come first.
    const std::string failure = "velscan-export: Error: Can't create the file o.ply: Is a directory\n";
    EXPECT_TRUE(result.err.ends_with(failure)) << result.err;
    EXPECT_EQ(Read("o.png"), "OLD o.png");
    EXPECT_TRUE(fs::is_directory(dir_.Path() / "o.ply"));
    for (const std::string& name : Files()) EXPECT_FALSE(name.starts_with(".velscan")) << name;
}

// Each request to end, while every format of a 200-line table is written:
// the exit code says which, and every unfinished output is gone.
TEST_F(ExportOfALargeTable, ARequestToEndRemovesEveryUnfinishedOutput) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(signal);
        const StalledFifo fifo(dir_.Path() / "pipe");
        const auto program = Start({"t", "--png", "o.png", "--amplitude-png", "a.png", "--ply", "o.ply",
                                    "--ptx", "o.ptx", "--html", "o.html", "--pcd", "pipe"});
        ASSERT_TRUE(fifo.WaitUntilFull());
        program->Signal(signal);
        const e2e::ProgramResult result = program->Wait();
        EXPECT_EQ(result.signal, 0);
        EXPECT_EQ(result.exitCode, 128 + signal);
        ExpectEveryOutputAsItWas();
        fs::remove(dir_.Path() / "pipe");
    }
}

}  // namespace
}  // namespace velscan::exporter
