// An open registry key, closed when its scope ends.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace ostrel::win {

class RegistryKey {
  public:
    RegistryKey() = default;
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens the subkey of `parent` with the access asked for, creating it (non-volatile, default
    // security) when it does not exist. Returns the system's error code (ERROR_SUCCESS...).
    // Trap: creating needs the right to create subkeys of `parent`, whatever `access` asks for.
    LONG Create(HKEY parent, const wchar_t* path, REGSAM access);

    // Reads a string value of type REG_SZ or REG_EXPAND_SZ (unexpanded) that fits `capacity`
    // characters with its terminating null. A value of 0 bytes reads as the empty text. Another
    // type, an odd byte count or a missing terminating null give ERROR_INVALID_DATA; a value too
    // long gives ERROR_MORE_DATA. `value` is changed only on success.
    LONG QueryString(const wchar_t* name, std::size_t capacity, std::wstring& value) const;

  private:
    HKEY key_ = nullptr;
};

}  // namespace ostrel::win
