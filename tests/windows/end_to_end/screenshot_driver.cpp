// Sets up Ostrel's dialog for a picture: starts Ostrel.exe, converts SOURCE into TARGET as a user
// would, writes the dialog's screen rectangle as WIDTHxHEIGHT+X+Y into READY_FILE, waits until
// that file is removed (the picture has been taken) and closes the dialog.
//   screenshot_driver OSTREL_EXE SOURCE TARGET READY_FILE
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "io/utf8.h"
#include "res/resource.h"
#include "res/string_table.h"
#include "tests/windows/end_to_end/dialog_driver.h"

namespace {

using ostrel::test::e2e::OstrelSession;

// How long the picture may take before the dialog is closed anyway.
constexpr DWORD kPictureTimeoutMs = 120000;

int Fail(const std::wstring& why) {
    std::fprintf(stderr, "screenshot_driver: %s\n", ostrel::io::ToUtf8(why).c_str());
    return 1;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Type(const OstrelSession& session, int id, const std::wstring& text) {
    session.Focus(id);
    session.SetText(id, text);
    session.Focus(IDC_CONVERT);
}

bool WriteRectangle(HWND window, const std::wstring& path) {
    RECT rect{};
    if (!GetWindowRect(window, &rect)) return false;
    std::ofstream file(std::filesystem::path(path + L".part"));
    file << (rect.right - rect.left) << 'x' << (rect.bottom - rect.top) << '+' << rect.left << '+'
         << rect.top << '\n';
    file.close();
    // Renamed into place so that the reader never sees half a line.
    return file.good() && MoveFileW((path + L".part").c_str(), path.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) return Fail(L"usage: screenshot_driver OSTREL_EXE SOURCE TARGET READY_FILE");
    const std::wstring source = ostrel::test::e2e::WindowsPath(argv[2]);
    const std::wstring target = ostrel::test::e2e::WindowsPath(argv[3]);
    const std::wstring ready = ostrel::test::e2e::WindowsPath(argv[4]);

    OstrelSession session(argv[1]);
    if (!session.started()) return Fail(session.failure());
    Type(session, IDC_SOURCE_EDIT, source);
    Type(session, IDC_TARGET_EDIT, target);
    session.Click(IDC_CONVERT);
    const std::wstring complete =
        ostrel::test::e2e::StringTableText(IDS_CONVERSION_COMPLETE) + L"\r\n\r\n\r\n";
    std::wstring log;
    if (!session.WaitForLogEnding(complete, &log)) {
        return Fail(L"the conversion did not complete; the log reads:\n" + log);
    }
    if (!WriteRectangle(session.dialog(), ready)) return Fail(L"cannot write " + ready);
    ostrel::test::e2e::WaitUntil([&] { return !Exists(ready); }, kPictureTimeoutMs);
    if (!session.Cancel()) return Fail(L"the dialog did not close");
    return 0;
}
