// ostrel-convert --in-place | --output-dir DIR | --check [--jobs N] PATH...: many files, several
// at once.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ostrel::console {

struct BatchOptions {
    std::vector<std::wstring> paths;           // files and folders, as the user named them
    std::optional<std::wstring> outputFolder;  // none: each file is converted in place
    unsigned jobs = 1;                         // how many files are converted at once
    bool quiet = false;  // no Results log and no progress: the failures and the summary only
    // Converts in memory and writes nothing: prints the name of each file whose conversion would
    // change it (its bytes differ from those a save would write), one a line, and no summary.
    bool check = false;
};

// How many files are converted at once unless the user says: one for each processor.
unsigned DefaultJobs();

// Converts the files the paths stand for (see PlanBatch), each exactly as the two-argument form
// would. Prints each file's report whole, in the order of the paths, then a summary line (which
// counts the files not started after a stop request); gives the batch's exit status: its worst
// file's (failed, then would change, then nothing to convert, then completed), or kUsage when the
// plan is refused and nothing was converted.
int RunBatch(const BatchOptions& options);

}  // namespace ostrel::console
