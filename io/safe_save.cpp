#include "io/safe_save.h"

namespace ostrel::io {

HResult SaveFile(std::wstring_view path, std::string_view bytes, const FileSnapshot* source) {
    return SaveFile(
        path, [bytes](ByteSink& sink) { return sink.Write(bytes); }, source);
}

}  // namespace ostrel::io
