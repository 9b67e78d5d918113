// The steps of a save that both platforms' writers take alike. Not part of io's interface.
#pragma once

#include <string_view>

#include "io/safe_save.h"

namespace ostrel::io {

// True for a name that is empty or only blanks (spaces, tabs): no file is meant.
bool IsBlankName(std::wstring_view path);

// False when the target is the file the content was made from and no longer leads to it as it was
// read: another program saved it meanwhile, by a new file renamed over it or by rewriting it.
bool StillTheSource(std::wstring_view target, const FileSnapshot* source);

}  // namespace ostrel::io
