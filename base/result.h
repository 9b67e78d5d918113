// Result codes, with the values the Windows platform gives them, so that every layer and every
// front end speaks of a failure by the same number.
#pragma once

#include <cstdint>

namespace ostrel {

using HResult = std::int32_t;

namespace hr {
constexpr HResult kOk = 0;
constexpr HResult kNoInterface = static_cast<HResult>(0x80004002);   // E_NOINTERFACE
constexpr HResult kPointer = static_cast<HResult>(0x80004003);       // E_POINTER
constexpr HResult kFail = static_cast<HResult>(0x80004005);          // E_FAIL
constexpr HResult kAccessDenied = static_cast<HResult>(0x80070005);  // E_ACCESSDENIED
constexpr HResult kOutOfMemory = static_cast<HResult>(0x8007000E);   // E_OUTOFMEMORY
constexpr HResult kFileExists = static_cast<HResult>(0x80070050);    // ERROR_FILE_EXISTS
constexpr HResult kWriteFault = static_cast<HResult>(0x8007001D);    // ERROR_WRITE_FAULT
constexpr HResult kInvalidArg = static_cast<HResult>(0x80070057);    // E_INVALIDARG
constexpr HResult kDiskFull = static_cast<HResult>(0x80070070);      // ERROR_DISK_FULL
constexpr HResult kFileTooLarge = static_cast<HResult>(0x800700DF);  // ERROR_FILE_TOO_LARGE
constexpr HResult kCancelled = static_cast<HResult>(0x800704C7);     // ERROR_CANCELLED
// The program's own (the customer bit set): the file a save would replace is the one its content
// was made from, and another program changed it meanwhile.
constexpr HResult kSourceChanged = static_cast<HResult>(0xA0070001);

// True for the failure codes (the high bit set), as the platform's FAILED() test.
constexpr bool Failed(HResult code) { return code < 0; }
}  // namespace hr

}  // namespace ostrel
