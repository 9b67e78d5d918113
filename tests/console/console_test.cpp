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
    for (const char* part : {"SOURCE TARGET", "TARGET may equal SOURCE", "Exit status", "  3  "}) {
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
    EXPECT_NE(run.out.find("Unable to write to the target file.  Error code 800704c7."),
              std::string::npos)
        << run.out;
    EXPECT_EQ(ReadBytes(target_), "old");
    EXPECT_EQ(folder_.Listing(), L"converted.vlf\nsample.vlf\n");
}
#endif

}  // namespace
}  // namespace ostrel::test
