// What only the Windows file writer does: Windows names, attributes, files held open by other
// programs, and the buffer between the producer and the file.
#include <windows.h>

#include <gtest/gtest.h>
#include <sddl.h>

#include <string>

#include "base/stop_requests.h"
#include "io/safe_save.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

// The slot of the program's import table that its calls of ReplaceFileW go through, by its
// linker name (x86 decorates the names of stdcall functions).
#ifdef _WIN64
extern "C" decltype(&ReplaceFileW) replaceFileSlot asm("__imp_ReplaceFileW");
#else
extern "C" decltype(&ReplaceFileW) replaceFileSlot asm("__imp__ReplaceFileW@24");
#endif

namespace ostrel::io {
namespace {

class AtomicWriteWin32 : public testing::Test {
  protected:
    test::TempDir folder_;
    std::wstring target_ = folder_.File(L"target.vlf");
};

TEST_F(AtomicWriteWin32, RefusesNamesWindowsCannotHold) {
    for (const std::wstring& name :
         {folder_.File(L"a<b.vlf"), folder_.File(L"pins?.vlf"), folder_.path() + L"\\missing\\",
          folder_.File(L"missing") + L"\\target.vlf", std::wstring(L"Q:\\no\\such\\drive.vlf"),
          std::wstring(L"target\0.vlf", 11)}) {
        EXPECT_EQ(SaveFile(name, "new"), hr::kInvalidArg);
    }
    EXPECT_EQ(folder_.Listing(), L"");
}

TEST_F(AtomicWriteWin32, KeepsTheAttributesOfAReplacedFile) {
    test::WriteBytes(target_, "old");
    ASSERT_TRUE(SetFileAttributesW(target_.c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(SaveFile(target_, "new"), hr::kOk);
    EXPECT_EQ(test::ReadBytes(target_), "new");
    EXPECT_NE(GetFileAttributesW(target_.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    SetFileAttributesW(target_.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(folder_.Listing(), L"target.vlf\n");
}

// Held without write sharing, the target is refused at once; without delete sharing, the
// replacement fails. Either way it keeps its content, and no other file stays behind.
TEST_F(AtomicWriteWin32, ABusyTargetKeepsItsOwnCodeAndContent) {
    test::WriteBytes(target_, "old");
    for (DWORD sharing : {DWORD{0}, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE}}) {
        const HANDLE held = CreateFileW(target_.c_str(), GENERIC_READ, sharing, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_EQ(SaveFile(target_, "new"),
                  static_cast<HResult>(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION)))
            << "sharing " << sharing;
        CloseHandle(held);
        EXPECT_EQ(test::ReadBytes(target_), "old");
        EXPECT_EQ(folder_.Listing(), L"target.vlf\n");
    }
}

// Small pieces are gathered and a large one passes straight through, in order; a producer that
// fails leaves the target as it was.
TEST_F(AtomicWriteWin32, WritesThePiecesInOrderOrNothing) {
    const std::string large(200000, 'x');
    const auto produce = [&large](std::string_view head, HResult end) {
        return [=, &large](ByteSink& sink) {
            for (std::string_view piece : {head, std::string_view(large), std::string_view("</a>")})
                sink.Write(piece);
            return end;
        };
    };
    EXPECT_EQ(SaveFile(target_, produce("<a>", hr::kOk)), hr::kOk);
    EXPECT_EQ(SaveFile(target_, produce("<b>", hr::kDiskFull)), hr::kDiskFull);
    EXPECT_EQ(test::ReadBytes(target_), "<a>" + large + "</a>");
    EXPECT_EQ(folder_.Listing(), L"target.vlf\n");
}

TEST_F(AtomicWriteWin32, TakesRelativeAndWindowsFormsOfNames) {
    wchar_t previous[MAX_PATH];
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(folder_.path().c_str()));
    const HResult written = SaveFile(L"Target.VLF", "bytes");
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(written, hr::kOk);
    EXPECT_EQ(test::ReadBytes(target_), "bytes");
    EXPECT_TRUE(PathExists(target_));  // names ignore case
    EXPECT_TRUE(PathExists(folder_.path() + L"\\"));
    EXPECT_FALSE(PathExists(target_ + std::wstring(L"\0x", 2)));
}

// The access list of a file, as text.
std::wstring AccessListOf(const std::wstring& path) {
    DWORD size = 0;
    GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::string descriptor(size, '\0');
    wchar_t* text = nullptr;
    if (size == 0 ||
        !GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size,
                          &size) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        return L"(none)";
    }
    std::wstring list(text);
    LocalFree(text);
    return list;
}

BOOL WINAPI ReplaceUnsupported(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
}

// The program's import of ReplaceFileW, pointed at `replace` for the object's life: a volume that
// cannot replace a file in one step (some shares and FAT media).
class ReplaceFileSwapped {
  public:
    explicit ReplaceFileSwapped(decltype(&ReplaceFileW) replace) : original_(Swap(replace)) {}
    ~ReplaceFileSwapped() { Swap(original_); }

  private:
    static decltype(&ReplaceFileW) Swap(decltype(&ReplaceFileW) replace) {
        DWORD protection = 0;
        VirtualProtect(&replaceFileSlot, sizeof replace, PAGE_READWRITE, &protection);
        const auto previous = replaceFileSlot;
        replaceFileSlot = replace;
        VirtualProtect(&replaceFileSlot, sizeof replace, protection, &protection);
        return previous;
    }
    decltype(&ReplaceFileW) original_;
};

TEST_F(AtomicWriteWin32, WhereReplacingFailsTheMovedFileKeepsTheAccessList) {
    test::WriteBytes(target_, "old");
    PSECURITY_DESCRIPTOR narrow = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;FA;;;SY)", SDDL_REVISION_1, &narrow, nullptr));
    ASSERT_TRUE(SetFileSecurityW(target_.c_str(), DACL_SECURITY_INFORMATION, narrow));
    LocalFree(narrow);
    ASSERT_TRUE(SetFileAttributesW(target_.c_str(), FILE_ATTRIBUTE_HIDDEN));
    const std::wstring before = AccessListOf(target_);
    {
        const ReplaceFileSwapped unsupported(ReplaceUnsupported);
        EXPECT_EQ(SaveFile(target_, "new"), hr::kOk);
    }
    EXPECT_EQ(test::ReadBytes(target_), "new");
    EXPECT_EQ(AccessListOf(target_), before);
    EXPECT_NE(GetFileAttributesW(target_.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    SetFileAttributesW(target_.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(folder_.Listing(), L"target.vlf\n");
}

// In a child: Ctrl-C during a save, and again while it is under way; then, when `again`, once
// more with no save under way. It never returns.
[[noreturn]] void InterruptASave(const std::wstring& target, bool again) {
    {
        const StopRequestsHandled handled;
        const auto ctrlC = [] { GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0); };
        const HResult saved = SaveFile(target, [&](ByteSink& sink) {
            ctrlC();
            for (int waited = 0; waited < 500 && !StopRequested(); ++waited) Sleep(10);
            ctrlC();
            Sleep(200);  // the handler runs on a thread of its own
            return sink.Write("new");
        });
        if (saved != hr::kCancelled) ExitProcess(2);
        if (again) {
            ctrlC();
            Sleep(5000);
            ExitProcess(3);  // the request should have ended the process at once
        }
    }
    ExitProcess(4);  // the end of `handled` should have ended it
}

// Ctrl-C abandons the save and removes its temporary file, and the process then ends as Ctrl-C
// ends it; a second request with no save under way ends it at once. The test runs itself in a
// child, which has a console of its own (Wine cannot send a control event to the test's own).
TEST(CtrlCInAConsole, AbandonsTheSaveAndEndsTheProcess) {
    if (const wchar_t* child = _wgetenv(L"OSTREL_INTERRUPTED_SAVE")) {
        InterruptASave(child + 1, child[0] == L'1');
    }
    test::TempDir folder;
    const std::wstring target = folder.File(L"target.vlf");
    test::WriteBytes(target, "old");
    wchar_t self[MAX_PATH];
    ASSERT_NE(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    for (const wchar_t* again : {L"0", L"1"}) {
        SetEnvironmentVariableW(L"OSTREL_INTERRUPTED_SAVE", (again + target).c_str());
        const test::ProcessResult run = test::RunProcess(
            self, {L"--gtest_filter=CtrlCInAConsole.AbandonsTheSaveAndEndsTheProcess"});
        SetEnvironmentVariableW(L"OSTREL_INTERRUPTED_SAVE", nullptr);
        EXPECT_EQ(static_cast<DWORD>(run.exitCode), STATUS_CONTROL_C_EXIT) << again << run.out;
        EXPECT_EQ(test::ReadBytes(target), "old");
        EXPECT_EQ(folder.Listing(), L"target.vlf\n");
    }
}

}  // namespace
}  // namespace ostrel::io
