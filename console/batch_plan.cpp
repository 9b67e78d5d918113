#include "console/batch_plan.h"

#include <algorithm>
#include <map>
#include <set>
#include <system_error>

#include "base/utf8.h"
#include "io/paths.h"
#include "res/texts.h"

namespace ostrel::console {

namespace fs = std::filesystem;

using io::FsPath;
using io::WideName;

namespace {

// A file the user's paths stand for, before its target is known.
struct Found {
    fs::path path;
    fs::path relative;    // its path below the named folder; its name for a named file
    std::wstring source;  // the name the user gave, or the named folder's path joined to it
    std::wstring problem;
};

using io::FileIdentity;

std::wstring CannotRead(const std::wstring& name, const std::error_code& error) {
    return FormatText(IDS_BATCH_CANNOT_READ, {name, FromUtf8(error.message())});
}

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; }

// A name ending in ".vlf", in any case.
bool IsProgramFileName(const fs::path& path) {
    const std::wstring extension = WideName(path.extension());
    const std::wstring_view wanted = L".vlf";
    return std::equal(extension.begin(), extension.end(), wanted.begin(), wanted.end(),
                      [](wchar_t c, wchar_t lower) { return AsciiLower(c) == lower; });
}

// Adds the program files of the folder and of its subfolders, but not of folders reached through
// links, which may lead out of the tree or round in a circle. A folder that cannot be read is
// added as a file that failed, so that the user hears of it.
void FindProgramFiles(const fs::path& folder, const fs::path& relative, std::vector<Found>& found) {
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const fs::path below = relative / entry->path().filename();
        std::error_code unknown;  // an entry whose type cannot be told is no folder
        if (entry->is_directory(unknown)) {
            if (!entry->is_symlink(unknown)) FindProgramFiles(entry->path(), below, found);
        } else if (IsProgramFileName(below)) {
            found.push_back({entry->path(), below, WideName(entry->path()), {}});
        }
    }
    if (error) {
        found.push_back({folder, relative, WideName(folder), CannotRead(WideName(folder), error)});
    }
}

// The files one of the user's paths stands for; a folder's in the order of their paths below it.
std::vector<Found> FindNamed(const std::wstring& name) {
    const fs::path path = FsPath(name);
    std::error_code error;
    if (!fs::is_directory(path, error)) return {{path, path.filename(), name, {}}};
    std::vector<Found> found;
    FindProgramFiles(path, {}, found);
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.relative < b.relative; });
    return found;
}

std::optional<FileIdentity> IdentityOf(const fs::path& path, std::error_code& error) {
    return io::IdentityOf(WideName(path), error);
}

// The sources of a batch by the file each one is: the name the user gave for it.
using Sources = std::map<FileIdentity, std::wstring>;

// Where the targets of a batch land, each with the source written there.
struct Targets {
    std::map<fs::path, std::wstring> places;
    std::map<FileIdentity, std::wstring> files;  // those already there
};

// Takes the target of a source, or gives why the batch must be refused: the target is one of the
// sources (by its name, through a link, or as another name of its file) or where another target
// lands.
std::wstring TakeTarget(const BatchFile& file, const Sources& sources, Targets& targets) {
    std::error_code error;
    const auto existing = io::IdentityOf(file.target, error);
    if (existing) {
        if (const auto source = sources.find(*existing); source != sources.end()) {
            return FormatText(IDS_BATCH_TARGET_IS_SOURCE,
                              {file.source, file.target, source->second});
        }
        if (const auto [other, isNew] = targets.files.emplace(*existing, file.source); !isNew) {
            return FormatText(IDS_BATCH_SAME_TARGET, {other->second, file.source, file.target});
        }
    }
    const auto [other, isNew] = targets.places.emplace(io::PlaceOf(file.target), file.source);
    if (!isNew) return FormatText(IDS_BATCH_SAME_TARGET, {other->second, file.source, file.target});
    return {};
}

}  // namespace

BatchPlan PlanBatch(const std::vector<std::wstring>& paths,
                    const std::optional<std::wstring>& outputFolder) {
    BatchPlan plan;
    Sources sources;
    std::set<fs::path> names;     // with an output folder: the places of the sources' names
    std::vector<fs::path> below;  // with an output folder: each file's path below it
    for (const auto& name : paths) {
        for (Found& file : FindNamed(name)) {
            std::error_code error;
            const auto identity =
                file.problem.empty() ? IdentityOf(file.path, error) : std::nullopt;
            if (error) file.problem = CannotRead(file.source, error);
            // In place, one file is converted once whatever its names; into an output folder,
            // each name gives its own output, and a name given twice one.
            const bool namedBefore =
                outputFolder ? !names.insert(io::PlaceOf(file.source, io::LastLink::kKeep)).second
                             : identity && sources.count(*identity) != 0;
            if (namedBefore) continue;
            if (identity) sources.emplace(*identity, file.source);
            plan.files.push_back({file.source, file.source, file.problem});
            below.push_back(file.relative);
        }
    }
    if (!outputFolder) return plan;
    Targets targets;
    for (std::size_t i = 0; i < plan.files.size() && plan.refusal.empty(); ++i) {
        BatchFile& file = plan.files[i];
        if (!file.problem.empty()) continue;
        file.target = WideName(FsPath(*outputFolder) / below[i]);
        plan.refusal = TakeTarget(file, sources, targets);
    }
    return plan;
}

}  // namespace ostrel::console
