// The console converter run as a user runs it: a separate process, its output and exit status.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "base/utf8.h"
#include "io/paths.h"
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
    EXPECT_EQ(run.out, ConvertedLog(Utf8(source_)));
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
        EXPECT_NE(run.err.find("usage: ostrel-convert [-q] SOURCE TARGET"), std::string::npos);
    }
    const ProcessResult help = Convert({L"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* part : {"SOURCE TARGET", "TARGET may equal SOURCE", "Exit status", "  3  ",
                             "  5  ", "-i [-q] [-j N] PATH", "-o, --output-dir=DIR", "--check"}) {
        EXPECT_NE(help.out.find(part), std::string::npos) << part;
    }
    EXPECT_TRUE(EndsWith(help.out, Lines({"Full documentation: man ostrel-convert"})));
    const std::string license = ReadBytes(SourceFile(L"LICENSE")).value_or("");
    const ProcessResult version = Convert({L"--version"});
    EXPECT_EQ(version.exitCode, 0);
    for (const std::string& part :
         {std::string("ostrel-convert (Vela Series Testers) 1.0.0.2" + kNewline),
          kNewline + "Product version 1.0.10.0" + kNewline,
          kNewline + "Copyright (C) 2026 Ostrel developers" + kNewline,
          "License: " + license.substr(0, license.find('\n')) + ".", std::string("NO WARRANTY")}) {
        EXPECT_NE(version.out.find(part), std::string::npos) << part;
    }
    // The short forms and unambiguous abbreviations say the same.
    EXPECT_EQ(Convert({L"-h"}).out, help.out);
    EXPECT_EQ(Convert({L"--he"}).out, help.out);
    EXPECT_EQ(Convert({source_, L"-V", target_}).out, version.out);
#ifdef _WIN32
    EXPECT_EQ(Convert({L"/?"}).out, help.out);
#endif
    EXPECT_FALSE(ReadBytes(target_));
}

// Options anywhere among the names, in every form getopt_long reads; an unknown one is refused
// and never taken for a file name.
TEST_F(ConsoleConverter, ReadsOptionsAsOtherCommandLineToolsDo) {
    for (const auto& [unknown, named] : {std::pair<std::vector<std::wstring>, std::string>{
                                             {L"--fast", source_, target_}, "--fast"},
                                         {{source_, L"-q2"}, "-2"},
                                         {{L"-i", L"-x", source_}, "-x"},
                                         {{L"--quiet=3", source_, target_}, "--quiet=3"}}) {
        const ProcessResult run = Convert(unknown);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find("unknown option '" + named + "'"), std::string::npos) << run.err;
    }
    const std::wstring out = folder_.File(L"out");
    for (const std::vector<std::wstring>& form :
         {std::vector<std::wstring>{L"--output-dir=" + out, L"--jobs=2", source_},
          std::vector<std::wstring>{source_, L"-o", out, L"-j", L"1"},
          std::vector<std::wstring>{L"-o" + out, L"-j1", source_},
          std::vector<std::wstring>{L"--out", out, L"--jo", L"2", source_}}) {
        std::filesystem::remove_all(FsPath(out));
        const ProcessResult run = Convert(form);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(ReadBytes(out + L"/sample.vlf").value_or("").find("12,13"), std::string::npos);
    }
    EXPECT_EQ(Convert({L"-i", source_}).exitCode, 0);
    EXPECT_NE(ReadBytes(source_), sample_);
    EXPECT_EQ(folder_.Listing(), L"out\nsample.vlf\n");

    // After "--", a word that starts with '-' is a file name.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(FsPath(folder_.path()));
    WriteBytes(folder_.File(L"-q.vlf"), sample_);
    const ProcessResult named = Convert({L"--in-place", L"--", L"-q.vlf"});
    std::filesystem::current_path(before);
    EXPECT_EQ(named.exitCode, 0) << named.err;
    EXPECT_NE(named.out.find("Opening file -q.vlf."), std::string::npos);
    EXPECT_NE(ReadBytes(folder_.File(L"-q.vlf")), sample_);
}

// Each failure is said once on standard error, with the file it concerns; the two-argument
// form's wrong input names the file too.
TEST_F(ConsoleConverter, MissingInputIsAUsageErrorThatNamesTheFile) {
    const std::wstring absent = folder_.File(L"absent");
    ProcessResult run = Convert({absent, target_});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, Lines({"ostrel-convert: " + Utf8(absent) + ": the file is missing"}));
    run = Convert({source_, L""});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, Lines({"ostrel-convert: " + Utf8(source_) + ": the target name is empty"}));
}

// --quiet: no Results log and no progress, only the failures and a batch's summary line.
TEST_F(ConsoleConverter, QuietPrintsOnlyFailuresAndTheSummary) {
    ProcessResult run = Convert({L"-q", source_, target_});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_NE(ReadBytes(target_).value_or("").find("12,13"), std::string::npos);
    const std::wstring broken = Put(L"broken.vlf", "<Editor>");
    run = Convert({L"--quiet", L"--in-place", source_, broken});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, Summary(1, 0, 1));
    EXPECT_EQ(run.err.find("ostrel-convert: " + Utf8(broken) + ": "), 0u) << run.err;
    EXPECT_EQ(run.err.find(kNewline), run.err.size() - kNewline.size()) << run.err;
}

// A run of the converter on some files: its status, and the start (or end) of what it writes.
struct Case {
    std::vector<std::wstring> files;
    int status;
    std::string out;
    std::string error;
};

// --check converts in memory: it names the files a conversion would change, tells by its status,
// and writes nothing at all.
TEST_F(ConsoleConverter, CheckNamesTheFilesThatWouldChangeAndWritesNothing) {
    ASSERT_EQ(Convert({source_, target_}).exitCode, 0);
    const std::wstring noFixtures = Put(L"empty.vlf", "<Editor><Harness/></Editor>");
    const std::wstring broken = Put(L"broken.vlf", "<Editor>");
    const auto modified = std::filesystem::last_write_time(FsPath(source_));
    std::error_code error;
    const auto identity = io::IdentityOf(source_, error);
    for (const Case& check : {
             Case{{target_, noFixtures}, 0, "", ""},
             Case{{target_, source_}, 5, Lines({Utf8(source_)}), ""},
             Case{{source_, broken, target_},
                  1,
                  Lines({Utf8(source_)}),
                  "ostrel-convert: " + Utf8(broken) + ": "},
         }) {
        std::vector<std::wstring> arguments{L"--check"};
        arguments.insert(arguments.end(), check.files.begin(), check.files.end());
        const ProcessResult run = Convert(arguments);
        EXPECT_EQ(run.exitCode, check.status) << run.err;
        EXPECT_EQ(run.out, check.out);
        EXPECT_EQ(run.err.find(check.error), 0u) << run.err;
        EXPECT_EQ(run.err.empty(), check.error.empty()) << run.err;
    }
    EXPECT_EQ(ReadBytes(source_), sample_);
    EXPECT_EQ(std::filesystem::last_write_time(FsPath(source_)), modified);
    EXPECT_EQ(io::IdentityOf(source_, error), identity);
    EXPECT_EQ(folder_.Listing(), L"broken.vlf\nconverted.vlf\nempty.vlf\nsample.vlf\n");
    EXPECT_EQ(Convert({L"--check", L"-i", source_}).exitCode, 2);
}

TEST_F(ConsoleConverter, ExitStatusTellsTheOutcome) {
    const std::wstring notProgram = Put(L"other.xml", "<Other/>");
    const std::wstring noFixtures = Put(L"empty.vlf", "<Editor><Harness/></Editor>");
    const std::wstring broken = Put(L"broken.vlf", "<Editor>");
    ProcessResult run = Convert({notProgram, target_});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("Not a valid Vela Program file.  Conversion aborted."),
              std::string::npos);
    EXPECT_EQ(run.err, Lines({"ostrel-convert: " + Utf8(notProgram) +
                              ": not a Vela program file: its root is no Editor element"}));
    run = Convert({noFixtures, target_});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.out.find("No Fixture Blocks defined"), std::string::npos);
    EXPECT_EQ(run.err, "");
    run = Convert({broken, target_});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find(kNewline + "File Open Error:   "), std::string::npos);
    // The parser's reason, with the line it stopped at (the Windows service's reason has none).
    EXPECT_EQ(run.err.find("ostrel-convert: " + Utf8(broken) + ": "), 0u) << run.err;
#ifndef _WIN32
    EXPECT_NE(run.err.find("(line 1, column"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("File Open Error"), std::string::npos) << run.err;
#endif
    EXPECT_FALSE(ReadBytes(target_));
}

TEST_F(ConsoleConverter, AReadOnlyTargetIsReportedAndKept) {
    WriteBytes(target_, "old");
    std::filesystem::permissions(FsPath(target_), std::filesystem::perms::owner_read);
    const ProcessResult run = Convert({source_, target_});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find(Lines({"Unable to write to the target file.  Access denied."})),
              std::string::npos);
    EXPECT_EQ(run.err, Lines({"ostrel-convert: " + Utf8(target_) +
                              ": Unable to write to the target file.  Access denied."}));
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
    for (const Case& batch : {
             // one file by two names: converted once
             Case{{source_, folder_.File(L"./sample.vlf")}, 0, Summary(1, 0, 0), ""},
             Case{{empty, source_}, 3, Summary(1, 1, 0), ""},
             Case{{broken, empty, source_}, 1, Summary(1, 1, 1), ""},
             Case{{missing, source_},
                  1,
                  Summary(1, 0, 1),
                  "ostrel-convert: " + Utf8(missing) + ": cannot be read: "},
         }) {
        WriteBytes(source_, sample_);
        std::vector<std::wstring> arguments{L"--in-place"};
        arguments.insert(arguments.end(), batch.files.begin(), batch.files.end());
        const ProcessResult run = Convert(arguments);
        EXPECT_EQ(run.exitCode, batch.status) << batch.out;
        EXPECT_TRUE(EndsWith(run.out, batch.out)) << run.out;
        EXPECT_NE(run.err.find(batch.error), std::string::npos) << run.err;
        EXPECT_NE(ReadBytes(source_), sample_) << batch.out;
    }
}

// Every target is resolved to where it lands before anything is written: one that is a source of
// the batch, or lands on another target, refuses the whole batch and names both files.
TEST_F(ConsoleConverter, BatchRefusesATargetThatIsASourceOrLandsOnAnother) {
    const std::wstring inside = Put(L"d/a.vlf", sample_);
    const std::wstring output = Put(L"d/z/a.vlf", sample_);  // the output folder inside PATH
    struct Case {
        std::vector<std::wstring> arguments;
        std::vector<std::string> names;
    };
    const std::wstring other = Put(L"other/sample.vlf", sample_);
    std::vector<Case> cases{
        {{L"-o", folder_.File(L"d/z"), folder_.File(L"d")},
         {"'" + Shown(inside) + "' would be written to '", "the source '" + Shown(output) + "'"}},
        // Two sources of one name into one folder.
        {{L"--output-dir", folder_.File(L"two"), source_, other},
         {"'" + Utf8(source_) + "' and '" + Utf8(other) + "'"}},
    };
#ifndef _WIN32
    // A link to a source in the target's place.
    Put(L"out/keep", "");
    std::filesystem::create_symlink(FsPath(source_), FsPath(folder_.File(L"out/sample.vlf")));
    cases.push_back(
        {{L"-o", folder_.File(L"out"), source_}, {Utf8(source_) + "' would be written"}});
    // Two new targets that meet through a linked subfolder (links/sub leads to links).
    const std::wstring deep = Put(L"in/sub/sample.vlf", sample_);
    Put(L"links/keep", "");
    std::filesystem::create_directory_symlink(".", FsPath(folder_.File(L"links/sub")));
    cases.push_back({{L"-o", folder_.File(L"links"), folder_.File(L"in"), source_},
                     {Shown(deep) + "' and '" + Utf8(source_) + "'"}});
#endif
    for (const Case& batch : cases) {
        const std::wstring listing = folder_.Listing();
        const ProcessResult run = Convert(batch.arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        for (const auto& name : batch.names) {
            EXPECT_NE(run.err.find(name), std::string::npos) << run.err;
        }
        EXPECT_EQ(folder_.Listing(), listing);
    }
    EXPECT_EQ(ReadBytes(output), sample_);
    EXPECT_EQ(ReadBytes(source_), sample_);
}

#ifndef _WIN32
// With an output folder each name of a file gives its own output; in place, the file is
// converted once whatever its names.
TEST_F(ConsoleConverter, BatchTellsFilesByNameIntoAFolderAndByIdentityInPlace) {
    const std::wstring hard = folder_.File(L"hard.vlf");
    const std::wstring soft = folder_.File(L"soft.vlf");
    std::filesystem::create_hard_link(FsPath(source_), FsPath(hard));
    std::filesystem::create_symlink(FsPath(source_), FsPath(soft));
    const std::wstring out = folder_.File(L"out");
    ProcessResult run = Convert({L"-o", out, source_, hard, soft});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(EndsWith(run.out, Summary(3, 0, 0)));
    for (const wchar_t* name : {L"/sample.vlf", L"/hard.vlf", L"/soft.vlf"}) {
        EXPECT_NE(ReadBytes(out + name).value_or("").find("12,13"), std::string::npos);
    }
    run = Convert({L"-i", source_, hard, soft});
    EXPECT_TRUE(EndsWith(run.out, Summary(1, 0, 0))) << run.out;
}

// Closed standard descriptors are opened on /dev/null first, so that no file the program opens
// takes their numbers: the log cannot land in a converted file.
TEST_F(ConsoleConverter, ClosedStandardDescriptorsStayOutOfTheFiles) {
    const ProcessResult run =
        RunProcess(L"/bin/sh", {L"-c", L"exec \"$0\" \"$@\" <&- >&- 2>&-", ConverterPath(),
                                L"--in-place", L"--jobs", L"1", source_, Put(L"b.vlf", sample_)});
    EXPECT_EQ(run.exitCode, 0);
    for (const wchar_t* name : {L"sample.vlf", L"b.vlf"}) {
        const std::string converted = ReadBytes(folder_.File(name)).value_or("");
        EXPECT_NE(converted.find("12,13"), std::string::npos);
        EXPECT_EQ(converted.find("Opening file"), std::string::npos);
    }
}
#endif

TEST_F(ConsoleConverter, BatchFailsTheFilesOfAnOutputFolderThatCannotBeMade) {
    Put(L"in/sub/a.vlf", sample_);
    Put(L"in/b.vlf", sample_);
    Put(L"out/sub", "a file in the way");
    // b.vlf named through its folder and by name: converted once
    const ProcessResult run = Convert({L"--output-dir", folder_.File(L"out"), L"--jobs", L"1",
                                       folder_.File(L"in"), folder_.File(L"in/b.vlf")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(
        run.err.find("ostrel-convert: " + Shown(folder_.File(L"in/sub/a.vlf")) +
                     ": cannot create the folder '" + Shown(folder_.File(L"out/sub")) + "': "),
        0u)
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
    EXPECT_NE(run.err.find("ostrel-convert: " + Utf8(source_) + ": The file was not read whole"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(ReadBytes(target_), "old");
    EXPECT_EQ(folder_.Listing(), L"converted.vlf\nsample.vlf\n");
}

TEST_F(ConsoleConverter, BatchStartsNoFileOnceAskedToStop) {
    ProcessOptions interrupted;
    interrupted.interrupted = true;
    WriteBytes(target_, sample_);
    const ProcessResult run =
        RunProcess(ConverterPath(), {L"--in-place", source_, target_}, interrupted);
    EXPECT_EQ(run.exitCode, 128 + SIGINT);
    EXPECT_EQ(run.out, Lines({"0 converted, 0 with nothing to convert, 0 failed, 2 not started "
                              "(the batch was stopped)"}));
    EXPECT_EQ(ReadBytes(source_), sample_);
}
#endif

}  // namespace
}  // namespace ostrel::test
