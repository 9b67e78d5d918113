// Sets up Ostrel's dialog for a picture: starts Ostrel.exe, converts SOURCE into TARGET as a user
// would, writes the dialog's screen rectangle as WIDTHxHEIGHT+X+Y into READY_FILE, waits until
// that file is removed (the picture has been taken) and closes the dialog.
//   screenshot_driver OSTREL_EXE SOURCE TARGET READY_FILE
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/utf8.h"
#include "res/resource.h"
#include "res/texts.h"
#include "tests/windows/end_to_end/ostrel_session.h"

using namespace ostrel::test;

int Fail(const std::wstring& why) {
    std::fprintf(stderr, "screenshot_driver: %s\n", ostrel::ToUtf8(why).c_str());
    return 1;
}

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) return Fail(L"usage: screenshot_driver OSTREL_EXE SOURCE TARGET READY_FILE");
    const std::wstring ready = WindowsPath(argv[4]);
    OstrelSession session(argv[1]);
    if (!session.started()) return Fail(session.failure());
    session.Type(IDC_SOURCE_EDIT, WindowsPath(argv[2]), IDC_CONVERT);
    session.Type(IDC_TARGET_EDIT, WindowsPath(argv[3]), IDC_CONVERT);
    if (!session.Convert(ostrel::LoadText(IDS_CONVERSION_COMPLETE)))
        return Fail(L"the conversion did not complete; the log reads:\n" +
                    session.Text(IDC_RESULTS_EDIT));

    RECT rect{};
    GetWindowRect(session.dialog(), &rect);
    std::ofstream file(std::filesystem::path(ready + L".part"));
    file << (rect.right - rect.left) << 'x' << (rect.bottom - rect.top) << '+' << rect.left << '+'
         << rect.top << '\n';
    file.close();
    // Renamed into place so that the reader never sees half a line.
    if (!file.good() || !MoveFileW((ready + L".part").c_str(), ready.c_str()))
        return Fail(L"cannot write " + ready);
    // The picture is taken once the file is gone; two minutes at most.
    WaitUntil([&] { return GetFileAttributesW(ready.c_str()) == INVALID_FILE_ATTRIBUTES; }, 120000);
    PostMessageW(session.dialog(), WM_COMMAND, IDCANCEL, 0);
    return session.WaitForExit() ? 0 : Fail(L"the dialog did not close");
}
