#include "console/batch_plan.h"

#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <map>
#include <set>
#include <system_error>
#include <utility>
#include <variant>

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

// The place a target is written to: the file already there, or the path it will have.
using TargetPlace = std::variant<FileIdentity, std::wstring>;

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

TargetPlace PlaceOf(const fs::path& target) {
    std::error_code error;
    if (const auto identity = IdentityOf(target, error)) return *identity;
    const fs::path absolute = fs::absolute(target, error);
    std::wstring path = WideName((error ? target : absolute).lexically_normal());
#ifdef _WIN32
    // Windows file names that differ by case alone name the same file.
    std::transform(path.begin(), path.end(), path.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
#endif
    return path;
}

}  // namespace

BatchPlan PlanBatch(const std::vector<std::wstring>& paths,
                    const std::optional<std::wstring>& outputFolder) {
    BatchPlan plan;
    std::set<FileIdentity> sources;
    std::map<TargetPlace, std::wstring> targets;  // and the source written there
    for (const auto& name : paths) {
        for (Found& file : FindNamed(name)) {
            std::error_code error;
            const auto identity =
                file.problem.empty() ? IdentityOf(file.path, error) : std::nullopt;
            if (error) file.problem = CannotRead(file.source, error);
            if (identity && !sources.insert(*identity).second) continue;  // named before
            BatchFile planned{file.source, file.source, file.problem};
            if (outputFolder && planned.problem.empty()) {
                planned.target = WideName(FsPath(*outputFolder) / file.relative);
                const auto [place, isNew] =
                    targets.emplace(PlaceOf(FsPath(planned.target)), planned.source);
                if (!isNew && plan.refusal.empty()) {
                    plan.refusal = FormatText(IDS_BATCH_SAME_TARGET,
                                              {place->second, planned.source, planned.target});
                }
            }
            plan.files.push_back(std::move(planned));
        }
    }
    return plan;
}

}  // namespace ostrel::console
