// Which files a batch converts and where each one goes, settled before anything is written.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ostrel::console {

// One file of a batch.
struct BatchFile {
    std::wstring source;  // as the user named it, or the named folder's path joined to it
    std::wstring target;  // the source itself, or its place under the output folder
    // Why the file cannot be converted (it cannot be found or read); empty when it can.
    std::wstring problem;
};

// The files of a batch in the order the user named them, each once, or the reason the batch is
// refused (a target that is a source, or two targets that land on one file).
struct BatchPlan {
    std::vector<BatchFile> files;
    std::wstring refusal;
};

// Plans the conversion of the paths: a folder stands for the .vlf files in it and its subfolders
// (any case; links to folders are not followed), in the order of their paths below it; a file
// stands for itself. Without an output folder each file is converted in place; with one it goes
// there under its own name, a file found in a folder keeping its path below that folder.
// In place, a file is planned once whatever names it is given (links, hard links); with an output
// folder, once for each place its names land (two names of one file give two outputs). Every
// target is resolved to where it lands (io::PlaceOf, and the file already there): the batch is
// refused when a target is one of the sources (by name, through a link or as another name of its
// file) or lands where another target does.
BatchPlan PlanBatch(const std::vector<std::wstring>& paths,
                    const std::optional<std::wstring>& outputFolder);

}  // namespace ostrel::console
