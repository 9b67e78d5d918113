#include "io/safe_save.h"

#include "io/safe_save_steps.h"

namespace ostrel::io {

bool IsBlankName(std::wstring_view path) {
    return path.find_first_not_of(L" \t") == std::wstring_view::npos;
}

bool StillTheSource(std::wstring_view target, const FileSnapshot* source) {
    if (source == nullptr) return true;
    const std::optional<FileSnapshot> now = SnapshotOf(target);
    const bool isSource =
        (now && now->identity == source->identity) || PlaceOf(target) == source->place;
    return !isSource || (now && now->SameState(*source));
}

HResult SaveFile(std::wstring_view path, std::string_view bytes, const FileSnapshot* source) {
    return SaveFile(
        path, [bytes](ByteSink& sink) { return sink.Write(bytes); }, source);
}

}  // namespace ostrel::io
