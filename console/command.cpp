// ostrel-convert SOURCE TARGET: one conversion, exactly as the dialog's Convert button runs it.
// With --in-place, --output-dir DIR or --check: a batch of files (console/batch.h).
#include "console/command.h"

#include <getopt.h>

#include <cstring>
#include <optional>
#include <variant>

#include "base/utf8.h"
#include "console/batch.h"
#include "console/console_host.h"
#include "res/texts.h"
#include "res/version.h"

namespace ostrel::console {

namespace {

int ExitStatusOf(engine::ConversionOutcome outcome) {
    switch (outcome) {
        case engine::ConversionOutcome::kCompleted:
            return kCompleted;
        case engine::ConversionOutcome::kNoFixtureBlocks:
            return kNothingToConvert;
        case engine::ConversionOutcome::kMissingInput:
            return kUsage;
        default:
            return kFailed;
    }
}

// Says what is wrong with the command line, if anything in particular, and how it is used.
int WrongUsage(const std::wstring& problem, unsigned usage) {
    WriteText(stderr, (problem.empty() ? L"" : problem + L"\r\n") + LoadText(usage) + L"\r\n");
    return kUsage;
}

// What the command line asks for.
struct CommandLine {
    std::vector<std::wstring> names;
    bool inPlace = false;
    bool quiet = false;
    bool check = false;
    bool help = false;
    bool version = false;
    std::optional<std::wstring> outputFolder;
    std::optional<std::wstring> jobs;

    bool IsBatch() const { return inPlace || outputFolder || jobs || check; }
};

// The value getopt gives to an option that has none of its own letters.
constexpr int kCheckOption = 256;

constexpr option kLongOptions[] = {
    {"in-place", no_argument, nullptr, 'i'},       {"output-dir", required_argument, nullptr, 'o'},
    {"jobs", required_argument, nullptr, 'j'},     {"quiet", no_argument, nullptr, 'q'},
    {"check", no_argument, nullptr, kCheckOption}, {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},        {nullptr, 0, nullptr, 0}};
// The leading ':' makes a missing value its own case, told apart from an unknown option.
constexpr char kShortOptions[] = ":io:j:qhV";

// The arguments as getopt takes them (UTF-8 words behind the program's name), and the way back
// from a word getopt points at to the argument it came from, whatever order getopt leaves them in.
class Words {
  public:
    explicit Words(const std::vector<std::wstring>& arguments) : arguments_(arguments) {
        bytes_.push_back("ostrel-convert");
        for (const auto& argument : arguments)
            bytes_.push_back(ToUtf8(argument, Utf8Errors::kEscape));
        for (auto& word : bytes_) pointers_.push_back(word.data());
        original_ = pointers_;
        pointers_.push_back(nullptr);
    }

    int Count() const { return static_cast<int>(bytes_.size()); }
    char** Argv() { return pointers_.data(); }

    // The text that starts at `text`: the argument itself when it is a whole word (no text is
    // lost on the way), else the value after "--option=" or "-o".
    std::wstring Text(const char* text) const {
        for (std::size_t i = 1; i < original_.size(); ++i) {
            if (original_[i] == text) return arguments_[i - 1];
        }
        return FromUtf8(text, Utf8Errors::kEscape);
    }
    // The word getopt took last.
    std::wstring Last() const { return Text(pointers_[optind - 1]); }

  private:
    const std::vector<std::wstring>& arguments_;
    std::vector<std::string> bytes_;
    std::vector<char*> pointers_;
    std::vector<char*> original_;
};

bool IsShortOption(int letter) {
    return letter != ':' && std::strchr(kShortOptions, letter) != nullptr;
}

// The option getopt did not know: a letter of a word of short options, or a long option's word.
std::wstring UnknownOption(const Words& words) {
    if (optopt != 0 && !IsShortOption(optopt)) return {L'-', static_cast<wchar_t>(optopt)};
    return words.Last();
}

// Reads the command line; gives what it asks for, or the status of wrong usage, already said.
std::variant<CommandLine, int> Parse(const std::vector<std::wstring>& arguments) {
    Words words(arguments);
    CommandLine command;
    opterr = 0;  // the program says what is wrong itself, in its own words
    for (int option; (option = getopt_long(words.Count(), words.Argv(), kShortOptions, kLongOptions,
                                           nullptr)) != -1;) {
        switch (option) {
            case 'i':
                command.inPlace = true;
                break;
            case 'o':
                command.outputFolder = words.Text(optarg);
                break;
            case 'j':
                command.jobs = words.Text(optarg);
                break;
            case 'q':
                command.quiet = true;
                break;
            case kCheckOption:
                command.check = true;
                break;
            case 'h':
                command.help = true;
                return command;
            case 'V':
                command.version = true;
                return command;
            case ':':
                // mingw-w64's getopt_long also lands here for "--quiet=3", a value given to an
                // option that takes none; glibc's calls that an unknown option, and so does this.
                if (words.Last().find(L'=') == std::wstring::npos) {
                    return WrongUsage(FormatText(IDS_CONSOLE_MISSING_VALUE, {words.Last()}),
                                      IDS_CONSOLE_BATCH_USAGE);
                }
                [[fallthrough]];
            default:
                return WrongUsage(FormatText(IDS_CONSOLE_BAD_OPTION, {UnknownOption(words)}),
                                  IDS_CONSOLE_USAGE);
        }
    }
    for (int i = optind; i < words.Count(); ++i)
        command.names.push_back(words.Text(words.Argv()[i]));
    return command;
}

// A number of files to convert at once: decimal digits only, at least 1.
std::optional<unsigned> ParseJobs(const std::wstring& text) {
    constexpr std::size_t kMostDigits = 9;  // any such number fits
    if (text.empty() || text.size() > kMostDigits ||
        text.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return std::nullopt;
    }
    const auto jobs = static_cast<unsigned>(std::stoul(text));
    return jobs >= 1 ? std::optional<unsigned>(jobs) : std::nullopt;
}

int RunBatchCommand(const CommandLine& command) {
    const int modes =
        int{command.inPlace} + int{command.outputFolder.has_value()} + int{command.check};
    if (modes > 1) {
        return WrongUsage(LoadText(IDS_CONSOLE_OPTION_CONFLICT), IDS_CONSOLE_BATCH_USAGE);
    }
    if (modes == 0 || command.names.empty() ||
        (command.outputFolder && command.outputFolder->empty())) {
        return WrongUsage({}, IDS_CONSOLE_BATCH_USAGE);
    }
    BatchOptions options{command.names, command.outputFolder, DefaultJobs()};
    options.quiet = command.quiet;
    options.check = command.check;
    if (command.jobs) {
        const auto jobs = ParseJobs(*command.jobs);
        if (!jobs) {
            return WrongUsage(FormatText(IDS_CONSOLE_BAD_JOBS, {*command.jobs}),
                              IDS_CONSOLE_BATCH_USAGE);
        }
        options.jobs = *jobs;
    }
    return RunBatch(options);
}

int Convert(const CommandLine& command) {
    ConsoleHost host(command.names[0], command.names[1], ConsoleHost::Output::kStreams,
                     command.quiet ? ConsoleHost::Results::kDropped : ConsoleHost::Results::kShown);
    const auto outcome = RunConsoleConversion(host);
    return outcome ? ExitStatusOf(*outcome) : kFailed;
}

}  // namespace

int RunCommand(const std::vector<std::wstring>& arguments) {
    const auto parsed = Parse(arguments);
    if (const int* status = std::get_if<int>(&parsed)) return *status;
    const CommandLine& command = std::get<CommandLine>(parsed);
    if (command.help) {
        WriteText(stdout, LoadText(IDS_CONSOLE_HELP) + L"\r\n");
        return kCompleted;
    }
    if (command.version) {
        WriteText(stdout, FormatText(IDS_CONSOLE_VERSION,
                                     {L"" OSTREL_PRODUCT_NAME, L"" OSTREL_FILE_VERSION_TEXT,
                                      L"" OSTREL_PRODUCT_VERSION_TEXT, L"" OSTREL_COPYRIGHT}) +
                              L"\r\n");
        return kCompleted;
    }
    if (command.IsBatch()) return RunBatchCommand(command);
    if (command.names.size() != 2) return WrongUsage({}, IDS_CONSOLE_USAGE);
    return Convert(command);
}

int FinishRun(int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    WriteText(stderr, LoadText(IDS_CONSOLE_LOG_LOST) + L"\r\n");
    return status == kFailed || status == kUsage ? status : kLogLost;
}

}  // namespace ostrel::console
