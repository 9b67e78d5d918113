#include "console/batch.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <system_error>
#include <thread>

#include "base/error.h"
#include "base/stop_requests.h"
#include "base/utf8.h"
#include "console/batch_plan.h"
#include "console/console_host.h"
#include "console/platform.h"
#include "io/paths.h"
#include "io/safe_save.h"
#include "io/sinks.h"
#include "res/texts.h"

namespace ostrel::console {

namespace {

namespace fs = std::filesystem;

enum class FileOutcome { kConverted, kNothingToConvert, kFailed, kWouldChange, kUnchanged };

// What one file's conversion had to say, to be printed in one piece.
struct FileReport {
    std::wstring log;       // for standard output
    std::wstring messages;  // for standard error
    FileOutcome outcome;
};

// The outcomes of the files printed so far.
struct Tally {
    std::size_t converted = 0;
    std::size_t nothingToConvert = 0;
    std::size_t failed = 0;
    std::size_t wouldChange = 0;
    std::size_t counted = 0;

    void Count(FileOutcome outcome) {
        ++counted;
        if (outcome == FileOutcome::kConverted) ++converted;
        if (outcome == FileOutcome::kNothingToConvert) ++nothingToConvert;
        if (outcome == FileOutcome::kFailed) ++failed;
        if (outcome == FileOutcome::kWouldChange) ++wouldChange;
    }
    int ExitStatus() const {
        if (failed > 0) return kFailed;
        if (wouldChange > 0) return kWouldChange;
        return nothingToConvert > 0 ? kNothingToConvert : kCompleted;
    }
    // The summary of a batch of `total` files: those a stop left out are not started.
    std::wstring Summary(std::size_t total) const {
        std::wstring summary = FormatText(
            IDS_BATCH_SUMMARY, {std::to_wstring(converted), std::to_wstring(nothingToConvert),
                                std::to_wstring(failed)});
        if (counted < total) {
            summary += FormatText(IDS_BATCH_NOT_STARTED, {std::to_wstring(total - counted)});
        }
        return summary;
    }
};

// "N of M files done" on standard error, rewritten in place; only where somebody watches.
class ProgressLine {
  public:
    explicit ProgressLine(bool shown) : shown_(shown) {}

    void Show(std::size_t done, std::size_t total) {
        if (!shown_) return;
        const std::wstring text =
            FormatText(IDS_BATCH_PROGRESS, {std::to_wstring(done), std::to_wstring(total)});
        WriteText(stderr, L"\r" + text);
        width_ = text.size();
    }
    // Blanks the line out, before other text is printed and when the batch ends.
    void Clear() {
        if (width_ == 0) return;
        WriteText(stderr, L"\r" + std::wstring(width_, L' ') + L"\r");
        width_ = 0;
    }

  private:
    bool shown_;
    std::size_t width_ = 0;  // of the text shown; 0 while none is
};

// Prints the reports of the files in their order, each one whole as soon as all before it are
// printed, whichever worker delivers it.
class ReportPrinter {
  public:
    ReportPrinter(std::size_t count, bool showProgress)
        : waiting_(count), progress_(showProgress && count > 1) {}

    void Deliver(std::size_t index, FileReport report) {
        const std::lock_guard<std::mutex> lock(mutex_);
        waiting_[index] = std::move(report);
        ++done_;
        for (; printed_ < waiting_.size() && waiting_[printed_]; ++printed_) {
            Print(*waiting_[printed_]);
            waiting_[printed_].reset();
        }
        progress_.Show(done_, waiting_.size());
    }
    // Ends the progress line; gives the outcomes of the files printed.
    Tally Finish() {
        const std::lock_guard<std::mutex> lock(mutex_);
        progress_.Clear();
        return tally_;
    }

  private:
    void Print(const FileReport& report) {
        progress_.Clear();
        if (!report.log.empty()) WriteText(stdout, report.log);
        if (!report.messages.empty()) WriteText(stderr, report.messages);
        tally_.Count(report.outcome);
    }

    std::mutex mutex_;
    std::vector<std::optional<FileReport>> waiting_;
    std::size_t printed_ = 0;
    std::size_t done_ = 0;
    Tally tally_;
    ProgressLine progress_;
};

FileOutcome OutcomeOf(std::optional<engine::ConversionOutcome> outcome) {
    if (outcome == engine::ConversionOutcome::kCompleted) return FileOutcome::kConverted;
    if (outcome == engine::ConversionOutcome::kNoFixtureBlocks) {
        return FileOutcome::kNothingToConvert;
    }
    return FileOutcome::kFailed;
}

FileReport Failure(const std::wstring& message) { return {L"", message, FileOutcome::kFailed}; }

// Creates the folders of a target under the output folder; gives the message of a failure.
std::wstring MakeTargetFolder(const BatchFile& file) {
    const fs::path folder = io::FsPath(file.target).parent_path();
    std::error_code error;
    if (file.target == file.source || folder.empty()) return {};
    fs::create_directories(folder, error);
    if (!error) return {};
    return FormatText(IDS_BATCH_NO_FOLDER,
                      {file.source, io::WideName(folder), FromUtf8(error.message())}) +
           L"\r\n";
}

// The bytes of the file, or none when it cannot be read.
std::optional<std::string> ReadFile(const std::wstring& name) {
    std::ifstream file(io::FsPath(name), std::ios::binary);
    if (!file) return std::nullopt;
    std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) return std::nullopt;
    return bytes;
}

// Converts the file in memory: would its conversion change it? Writes nothing.
FileReport CheckFile(const BatchFile& file) {
    ConsoleHost host(file.source, file.source, ConsoleHost::Output::kKept,
                     ConsoleHost::Results::kDropped);
    io::StringSink converted;
    const auto outcome = RunConsoleConversion(
        host, [&converted](const xml::Document& document, const std::wstring&) {
            return document.save(converted);
        });
    if (outcome == engine::ConversionOutcome::kNoFixtureBlocks) {
        return {L"", L"", FileOutcome::kUnchanged};  // such a file is not saved at all
    }
    if (outcome != engine::ConversionOutcome::kCompleted) {
        return {L"", host.Messages(), FileOutcome::kFailed};
    }
    const auto bytes = ReadFile(file.source);
    if (!bytes) {
        const std::error_code error(errno, std::generic_category());
        return Failure(FormatText(IDS_BATCH_CANNOT_READ, {file.source, FromUtf8(error.message())}) +
                       L"\r\n");
    }
    if (*bytes == converted.Content()) return {L"", L"", FileOutcome::kUnchanged};
    return {file.source + L"\r\n", L"", FileOutcome::kWouldChange};
}

FileReport ConvertFile(const BatchFile& file, const BatchOptions& options) {
    if (!file.problem.empty()) return Failure(file.problem + L"\r\n");
    if (options.check) return CheckFile(file);
    if (const std::wstring problem = MakeTargetFolder(file); !problem.empty()) {
        return Failure(problem);
    }
    ConsoleHost host(file.source, file.target, ConsoleHost::Output::kKept,
                     options.quiet ? ConsoleHost::Results::kDropped : ConsoleHost::Results::kShown);
    const auto outcome = RunConsoleConversion(host);
    return {host.Log(), host.Messages(), OutcomeOf(outcome)};
}

// Converts the file on a worker thread, whose start of the conversion's services (COM on
// Windows) gave `started`.
FileReport ConvertOnThisThread(const BatchFile& file, const BatchOptions& options,
                               HResult started) {
    const auto unexpected = [&file](const std::wstring& description, HResult code) {
        return Failure(FileFailureLine(
            file.source, FormatText(IDS_CONSOLE_UNEXPECTED, {description, HexCode(code)})));
    };
    try {
        if (hr::Failed(started)) return unexpected(LoadText(IDS_CONSOLE_NO_COM), started);
        return ConvertFile(file, options);
    } catch (...) {
        const ErrorReport error = DescribeCurrentException();
        return unexpected(error.description, error.code);
    }
}

// Converts the next file not yet taken, again and again, until none is left or the process has
// been asked to stop (a save under way abandons by itself).
void Work(const std::vector<BatchFile>& files, const BatchOptions& options,
          std::atomic<std::size_t>& next, ReportPrinter& printer) {
    WithConversionServices([&](HResult started) {
        for (std::size_t index = 0; !StopRequested() && (index = next++) < files.size();) {
            printer.Deliver(index, ConvertOnThisThread(files[index], options, started));
        }
    });
}

}  // namespace

unsigned DefaultJobs() { return std::max(1u, std::thread::hardware_concurrency()); }

int RunBatch(const BatchOptions& options) {
    const BatchPlan plan = PlanBatch(options.paths, options.outputFolder);
    if (!plan.refusal.empty()) {
        WriteText(stderr, plan.refusal + L"\r\n");
        return kUsage;
    }
    ReportPrinter printer(plan.files.size(), !options.quiet && IsTerminal(stderr));
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> workers;
    const std::size_t wanted = std::min<std::size_t>(options.jobs, plan.files.size());
    try {
        while (workers.size() < wanted) {
            workers.emplace_back(Work, std::cref(plan.files), std::cref(options), std::ref(next),
                                 std::ref(printer));
        }
    } catch (const std::system_error&) {
        // The system gave fewer threads than asked: the batch goes on with those it has.
    }
    if (workers.empty()) Work(plan.files, options, next, printer);
    for (auto& worker : workers) worker.join();
    const Tally tally = printer.Finish();
    if (!options.check) WriteText(stdout, tally.Summary(plan.files.size()) + L"\r\n");
    return tally.ExitStatus();
}

}  // namespace ostrel::console
