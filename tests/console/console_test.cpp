// The console converter run as a user runs it: a separate process, its output and exit status.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "base/utf8.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace ostrel::test {
namespace {

#ifdef _WIN32
const std::string kNewline = "\r\n";
#else
const std::string kNewline = "\n";
#endif

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const auto& line : lines) text += line + kNewline;
    return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

std::string Summary(int converted, int nothingToConvert, int failed) {
    return Lines({std::to_string(converted) + " converted, " + std::to_string(nothingToConvert) +
                  " with nothing to convert, " + std::to_string(failed) + " failed"});
}

std::string ConvertedLog(const std::string& source) {
    return Lines(
        {"Opening file " + source + ".", "Converted 3 fixtures", "Conversion complete!", "", ""});
}

// A file's name as a batch prints it: with the platform's separators.
std::string Shown(const std::wstring& file) { return FsPath(file).make_preferred().u8string(); }

class ConsoleConverter : public testing::Test {
  protected:
    ConsoleConverter() {
        sample_ = ReadBytes(SourceFile(L"examples/sample.vlf")).value_or("");
        WriteBytes(source_, sample_);
    }

    ProcessResult Convert(std::vector<std::wstring> arguments) {
        return RunProcess(ConverterPath(), arguments);
    }

    std::string Utf8(const std::wstring& text) { return ToUtf8(text, Utf8Errors::kEscape); }

    // Writes a file of the folder, with the folders it is in.
    std::wstring Put(const std::wstring& name, std::string_view bytes) {
        const std::wstring file = folder_.File(name);
        std::filesystem::create_directories(FsPath(file).parent_path());
        WriteBytes(file, bytes);
        return file;
    }

    TempDir folder_;
    std::string sample_;
    std::wstring source_ = folder_.File(L"sample.vlf");
    std::wstring target_ = folder_.File(L"converted.vlf");
};

TEST_F(ConsoleConverter, ConvertsAndPrintsTheResultsLog) {
    const ProcessResult run = Convert({source_, target_});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, Lines({"Opening file " + Utf8(source_) + ".", "Converted 3 fixtures",
                              "Conversion complete!", "", ""}));
    EXPECT_EQ(run.err, "");
    const std::string converted = ReadBytes(target_).value_or("");
    EXPECT_NE(converted.find("CRC=\"\""), std::string::npos);
    EXPECT_NE(converted.find("<![CDATA[\n\t\t\t\t12,13\n\t\t\t\t13,14\n\t\t\t\t14,A7,B3\n"
                             "\t\t\t\t15,16\n\t\t\t]]>"),
              std::string::npos);
    EXPECT_NE(converted.find("<![CDATA[\n\t\t\t\t101,102\n\t\t\t\t102,103\n\t\t\t\t103,104\n"
                             "\t\t\t\t0,1\n\t\t\t\t7,8\n\t\t\t]]>"),
              std::string::npos);
    EXPECT_NE(converted.find("Shield 10 \xC2\xB5"
                             "F"),
              std::string::npos);
    EXPECT_EQ(ReadBytes(source_), sample_);
}

TEST_F(ConsoleConverter, ConvertsInPlaceAndAgainWithoutChange) {
    ASSERT_EQ(Convert({source_, source_}).exitCode, 0);
    const std::string once = ReadBytes(source_).value_or("");
    EXPECT_NE(once, sample_);
    ASSERT_EQ(Convert({source_, source_}).exitCode, 0);
    EXPECT_EQ(ReadBytes(source_), once);
    EXPECT_EQ(folder_.Listing(), L"sample.vlf\n");
}

TEST_F(ConsoleConverter, HandlesNonAsciiPaths) {
    TempDir other;
    const std::wstring folder = other.File(
        L"Pr\xFC"
        L"fung \x3A9");
    std::filesystem::create_directory(FsPath(folder));
    std::wstring source = folder + L"/\xB5-\x43F\x440\x43E\x433.vlf";
#ifndef _WIN32
    source += L"-caf\xDCE9";  // the byte 0xE9 of a Latin-1 name, which is not UTF-8
#endif
    WriteBytes(source, sample_);
    const ProcessResult run = Convert({source, source});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find(kNewline)), "Opening file " + Utf8(source) + ".");
    EXPECT_NE(ReadBytes(source), sample_);
}

TEST_F(ConsoleConverter, ExplainsItsUsage) {
    for (const auto& arguments : {std::vector<std::wstring>{}, std::vector<std::wstring>{source_},
                                  std::vector<std::wstring>{source_, target_, target_}}) {
        const ProcessResult run = Convert(arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("usage: ostrel-convert SOURCE TARGET"), std::string::npos);
    }
    const ProcessResult unknown = Convert({L"--fast", source_, target_});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("unknown option '--fast'"), std::string::npos);

    const ProcessResult help = Convert({L"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* part : {"SOURCE TARGET", "TARGET may equal SOURCE", "Exit status", "  3  ",
                             "--in-place [--jobs N] PATH", "--output-dir DIR"}) {
        EXPECT_NE(help.out.find(part), std::string::npos) << part;
    }
    const ProcessResult version = Convert({L"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_NE(version.out.find("1.0.0.2"), std::string::npos);
    EXPECT_NE(version.out.find("1.0.10.0"), std::string::npos);
    EXPECT_FALSE(ReadBytes(target_));
}

TEST_F(ConsoleConverter, MissingInputIsAUsageError) {
    for (const auto& arguments : {std::vector<std::wstring>{folder_.File(L"absent"), target_},
                                  std::vector<std::wstring>{source_, L""}}) {
        const ProcessResult run = Convert(arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, Lines({"File Error: Please select a source and target file."}));
    }
}

TEST_F(ConsoleConverter, ExitStatusTellsTheOutcome) {
    const std::wstring notProgram = folder_.File(L"other.xml");
    WriteBytes(notProgram, "<Other/>");
    const std::wstring noFixtures = folder_.File(L"empty.vlf");
    WriteBytes(noFixtures, "<Editor><Harness/></Editor>");
    const std::wstring broken = folder_.File(L"broken.vlf");
    WriteBytes(broken, "<Editor>");

    ProcessResult run = Convert({notProgram, target_});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("Not a valid Vela Program file.  Conversion aborted."),
              std::string::npos);
    run = Convert({noFixtures, target_});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.out.find("No Fixture Blocks defined"), std::string::npos);
    run = Convert({broken, target_});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find(kNewline + "File Open Error:   "), std::string::npos);
    EXPECT_FALSE(ReadBytes(target_));
}

TEST_F(ConsoleConverter, AReadOnlyTargetIsReportedAndKept) {
    WriteBytes(target_, "old");
    std::filesystem::permissions(FsPath(target_), std::filesystem::perms::owner_read);
    const ProcessResult run = Convert({source_, target_});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find(Lines({"Unable to write to the target file.  Access denied."})),
              std::string::npos);
    EXPECT_EQ(ReadBytes(target_), "old");
}

TEST_F(ConsoleConverter, BatchConvertsAFolderTreeKeepingItsPaths) {
    std::vector<std::wstring> names{L"Sub/a.VLF", L"Sub/deep/c.vlf", L"b.vlf"};  // in path order
#ifndef _WIN32
    names.push_back(L"caf\xDCE9.vlf");  // not UTF-8: written under the very same bytes
#endif
    for (const auto& name : names) Put(L"in/" + name, sample_);
    Put(L"in/notes.txt", sample_);
#ifndef _WIN32
    Put(L"elsewhere/x.vlf", sample_);  // reached only through a link to its folder
    std::filesystem::create_directory_symlink(FsPath(folder_.File(L"elsewhere")),
                                              FsPath(folder_.File(L"in/link")));
#endif
    ASSERT_EQ(Convert({source_, target_}).exitCode, 0);  // what the two-argument form writes

    const ProcessResult run =
        Convert({L"--output-dir", folder_.File(L"out"), L"--jobs", L"2", folder_.File(L"in")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::string logs;
    for (const auto& name : names) {
        logs += ConvertedLog(Shown(folder_.File(L"in/" + name)));
        EXPECT_EQ(ReadBytes(folder_.File(L"out/" + name)), ReadBytes(target_)) << Utf8(name);
    }
    EXPECT_EQ(run.out, logs + Summary(static_cast<int>(names.size()), 0, 0));
    EXPECT_FALSE(ReadBytes(folder_.File(L"out/notes.txt")));
    EXPECT_FALSE(std::filesystem::exists(FsPath(folder_.File(L"out/link"))));
}

TEST_F(ConsoleConverter, BatchExitStatusIsItsWorstFile) {
    const std::wstring empty = Put(L"empty.vlf", "<Editor><Harness/></Editor>");
    const std::wstring broken = Put(L"broken.vlf", "<Editor>");
    const std::wstring missing = folder_.File(L"missing.vlf");
    struct Case {
        std::vector<std::wstring> files;
        int status;
        std::string summary;
        std::string error;
    };
    for (const Case& batch : {
             // one file by two names: converted once
             Case{{source_, folder_.File(L"./sample.vlf")}, 0, Summary(1, 0, 0), ""},
             Case{{empty, source_}, 3, Summary(1, 1, 0), ""},
             Case{{broken, empty, source_}, 1, Summary(1, 1, 1), ""},
             Case{{missing, source_}, 1, Summary(1, 0, 1), "cannot read '" + Utf8(missing) + "'"},
         }) {
        WriteBytes(source_, sample_);
        std::vector<std::wstring> arguments{L"--in-place"};
        arguments.insert(arguments.end(), batch.files.begin(), batch.files.end());
        const ProcessResult run = Convert(arguments);
        EXPECT_EQ(run.exitCode, batch.status) << batch.summary;
        EXPECT_TRUE(EndsWith(run.out, batch.summary)) << run.out;
        EXPECT_NE(run.err.find(batch.error), std::string::npos) << run.err;
        EXPECT_NE(ReadBytes(source_), sample_) << batch.summary;
    }
}

TEST_F(ConsoleConverter, BatchRefusesTwoFilesForOneTargetBeforeWriting) {
    const std::wstring other = Put(L"other/sample.vlf", sample_);
    const ProcessResult run = Convert({L"--output-dir", folder_.File(L"out"), source_, other});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("'" + Utf8(source_) + "' and '" + Utf8(other) + "'"), std::string::npos)
        << run.err;
    EXPECT_EQ(folder_.Listing(), L"other\nsample.vlf\n");
}

TEST_F(ConsoleConverter, BatchFailsTheFilesOfAnOutputFolderThatCannotBeMade) {
    Put(L"in/sub/a.vlf", sample_);
    Put(L"in/b.vlf", sample_);
    Put(L"out/sub", "a file in the way");
    // b.vlf named through its folder and by name: converted once
    const ProcessResult run = Convert({L"--output-dir", folder_.File(L"out"), L"--jobs", L"1",
                                       folder_.File(L"in"), folder_.File(L"in/b.vlf")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("cannot create the folder '" + Shown(folder_.File(L"out/sub")) + "'"),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(EndsWith(run.out, Summary(1, 0, 1)));
    EXPECT_NE(ReadBytes(folder_.File(L"out/b.vlf")).value_or("").find("12,13"), std::string::npos);
}

TEST_F(ConsoleConverter, BatchExplainsItsUsage) {
    std::vector<std::vector<std::wstring>> wrong{
        {L"--in-place"},
        {L"--in-place", source_, L"--jobs"},
        {L"--jobs", L"2", source_, target_},
        {L"--in-place", L"--output-dir", target_, source_}};
    for (const wchar_t* jobs : {L"0", L"-1", L"two", L""}) {
        wrong.push_back({L"--in-place", L"--jobs", jobs, source_});
    }
    for (const auto& arguments : wrong) {
        const ProcessResult run = Convert(arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find("usage: ostrel-convert --in-place"), std::string::npos) << run.err;
    }
    EXPECT_EQ(folder_.Listing(), L"sample.vlf\n");
    EXPECT_EQ(ReadBytes(source_), sample_);
}

#ifndef _WIN32
// A write that fails midway (here: beyond the file-size limit) must leave the old file whole.
TEST_F(ConsoleConverter, AFailedWriteLeavesTheOldFileIntact) {
    const ProcessResult run =
        RunProcess(L"/usr/bin/prlimit", {L"--fsize=200", ConverterPath(), source_, source_});
    ASSERT_NE(run.exitCode, -1) << "prlimit is needed for this test";
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.out.find("Unable to write to the target file.  Error code 800700df."),
              std::string::npos)
        << run.out;
    EXPECT_EQ(ReadBytes(source_), sample_);
    EXPECT_EQ(folder_.Listing(), L"sample.vlf\n");
}

TEST_F(ConsoleConverter, ALogThatCannotBeWrittenIsSaidAndTheConversionStillSaves) {
    for (const char* output : {kClosedPipe, "/dev/full"}) {
        std::filesystem::remove(FsPath(target_));
        const ProcessResult run = RunProcess(ConverterPath(), {source_, target_}, {output});
        EXPECT_EQ(run.exitCode, 4) << output;
        EXPECT_EQ(
            run.err,
            Lines({"ostrel-convert: the Results log could not be written to standard output"}));
        EXPECT_NE(ReadBytes(target_).value_or("").find("12,13"), std::string::npos);
    }
}

TEST_F(ConsoleConverter, AStopSignalAbandonsTheSaveAndEndsTheProcess) {
    WriteBytes(target_, "old");
    ProcessOptions interrupted;
    interrupted.interrupted = true;
    const ProcessResult run = RunProcess(ConverterPath(), {source_, target_}, interrupted);
    EXPECT_EQ(run.exitCode, 128 + SIGINT);
    // A request pending from the start ends the load already.
    EXPECT_NE(run.out.find("The file was not read whole: a stop was requested"), std::string::npos)
        << run.out;
    EXPECT_EQ(ReadBytes(target_), "old");
    EXPECT_EQ(folder_.Listing(), L"converted.vlf\nsample.vlf\n");
}

TEST_F(ConsoleConverter, BatchStartsNoFileOnceAskedToStop) {
    ProcessOptions interrupted;
    interrupted.interrupted = true;
    const ProcessResult run = RunProcess(ConverterPath(), {L"--in-place", source_}, interrupted);
    EXPECT_EQ(run.exitCode, 128 + SIGINT);
    EXPECT_EQ(run.out, Summary(0, 0, 0));
    EXPECT_EQ(ReadBytes(source_), sample_);
}
#endif

}  // namespace
}  // namespace ostrel::test
