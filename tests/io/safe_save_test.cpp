#include "io/safe_save.h"
#include "io/sinks.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <set>

#include "base/stop_requests.h"
#include "tests/support/process.h"
#endif

#include "tests/support/temp_dir.h"

namespace ostrel::io {
namespace {

namespace fs = std::filesystem;

TEST(PathExists, AcceptsFilesAndFoldersOnly) {
    test::TempDir folder;
    test::WriteBytes(folder.File(L"file \xB5\x3A9.vlf"), "x");
    EXPECT_TRUE(PathExists(folder.File(L"file \xB5\x3A9.vlf")));
    EXPECT_TRUE(PathExists(folder.path()));
    EXPECT_FALSE(PathExists(folder.File(L"absent.vlf")));
    EXPECT_FALSE(PathExists(L""));
    EXPECT_FALSE(PathExists(folder.path() + std::wstring(1, L'\0') + L"absent"));
}

class AtomicWrite : public testing::Test {
  protected:
    test::TempDir folder_;
    std::wstring target_ = folder_.File(L"target \xE9.vlf");
};

TEST_F(AtomicWrite, CreatesAndReplacesWholeFiles) {
    EXPECT_EQ(SaveFile(target_, "first version, longer"), hr::kOk);
    EXPECT_EQ(test::ReadBytes(target_), "first version, longer");
    // Pieces of every size, one beyond any buffer, arrive whole and in order.
    const std::string large(1 << 20, 'x');
    EXPECT_EQ(SaveFile(target_,
                                  [&](ByteSink& sink) {
                                      for (std::string_view piece : {"a", "", "bc"}) {
                                          if (sink.Write(piece) != hr::kOk) return hr::kFail;
                                      }
                                      return sink.Write(large);
                                  }),
              hr::kOk);
    EXPECT_EQ(test::ReadBytes(target_), "abc" + large);
    EXPECT_EQ(SaveFile(target_, ""), hr::kOk);
    EXPECT_EQ(test::ReadBytes(target_), "");
    EXPECT_EQ(folder_.Listing(), L"target \xE9.vlf\n");
}

TEST_F(AtomicWrite, AFailedProducerOrTargetLeavesEverythingAsItWas) {
    test::WriteBytes(target_, "old");
    EXPECT_EQ(SaveFile(target_,
                                  [](ByteSink& sink) {
                                      sink.Write(std::string(1 << 20, 'x'));
                                      return hr::kDiskFull;
                                  }),
              hr::kDiskFull);
    fs::permissions(test::FsPath(target_), fs::perms::owner_read);
    EXPECT_EQ(SaveFile(target_, "new"), hr::kAccessDenied);
    EXPECT_EQ(SaveFile(folder_.path(), "new"), hr::kAccessDenied);
    for (const std::wstring& name : {std::wstring(), std::wstring(L"   "), std::wstring(L" \t "),
                                     folder_.File(L"missing/target.vlf")}) {
        EXPECT_EQ(SaveFile(name, "new"), hr::kInvalidArg) << name.size();
    }
    EXPECT_EQ(test::ReadBytes(target_), "old");
    EXPECT_EQ(folder_.Listing(), L"target \xE9.vlf\n");
}

TEST(BufferedSink, KeepsAFailedWriteForEveryLaterCall) {
    int writes = 0;
    BufferedSink sink(4, [&](std::string_view) { return ++writes == 1 ? hr::kDiskFull : hr::kOk; });
    EXPECT_EQ(sink.Write("12345"), hr::kDiskFull);  // too large for the buffer: written at once
    EXPECT_EQ(sink.Write("ab"), hr::kDiskFull);
    EXPECT_EQ(sink.Flush(), hr::kDiskFull);
}

#ifndef _WIN32
// The names of the folder's entries as the system has them, bytes and all, sorted.
std::string RawListing(const std::wstring& folder) {
    std::set<std::string> names;
    if (DIR* directory = opendir(test::FsPath(folder).c_str())) {
        while (const dirent* entry = readdir(directory)) {
            if (entry->d_name[0] != '.') names.insert(entry->d_name);
        }
        closedir(directory);
    }
    std::string listing;
    for (const std::string& name : names) listing += name + "\n";
    return listing;
}

TEST_F(AtomicWrite, NamesThatAreNotUtf8AndLongNamesAreKept) {
    // The byte 0xE9 (Latin-1 é) is carried as U+DCE9; U+FFFD would name another file.
    test::WriteBytes(folder_.File(L"caf\xFFFD.vlf"), "PRECIOUS");
    const std::wstring latin1 = folder_.File(L"caf\xDCE9.vlf");
    EXPECT_EQ(SaveFile(latin1, "converted"), hr::kOk);
    EXPECT_TRUE(PathExists(latin1));
    EXPECT_EQ(test::ReadBytes(latin1), "converted");
    EXPECT_EQ(test::ReadBytes(folder_.File(L"caf\xFFFD.vlf")), "PRECIOUS");
    EXPECT_EQ(RawListing(folder_.path()), "caf\xe9.vlf\ncaf\xef\xbf\xbd.vlf\n");

    // The longest name the file system takes, converted in place.
    const std::wstring longest = folder_.File(std::wstring(251, L'n') + L".vlf");
    test::WriteBytes(longest, "old");
    EXPECT_EQ(SaveFile(longest, "new"), hr::kOk);
    EXPECT_EQ(test::ReadBytes(longest), "new");
}

TEST_F(AtomicWrite, KeepsModeOwnerAndLinks) {
    test::WriteBytes(target_, "old");
    const std::string path = test::FsPath(target_);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(path.c_str(), test::kOrdinaryId, test::kOrdinaryId), 0);
    }
    ASSERT_EQ(chmod(path.c_str(), 02775), 0);
    struct stat before;
    ASSERT_EQ(stat(path.c_str(), &before), 0);

    const std::wstring link = folder_.File(L"link.vlf");
    fs::create_symlink(test::FsPath(target_), test::FsPath(link));
    const std::wstring dangling = folder_.File(L"dangling.vlf");
    fs::create_symlink("new/../named.vlf", test::FsPath(dangling));
    fs::create_directory(test::FsPath(folder_.File(L"new")));
    EXPECT_EQ(SaveFile(link, "new"), hr::kOk);
    EXPECT_EQ(SaveFile(dangling, "created"), hr::kOk);

    struct stat after;
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(test::ReadBytes(target_), "new");
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_TRUE(fs::is_symlink(test::FsPath(link)) && fs::is_symlink(test::FsPath(dangling)));
    EXPECT_EQ(test::ReadBytes(folder_.File(L"named.vlf")), "created");
    // A new file gets the mode every new file of the user gets.
    const mode_t mask = umask(027);
    umask(mask);
    struct stat created;
    ASSERT_EQ(stat(test::FsPath(folder_.File(L"named.vlf")).c_str(), &created), 0);
    EXPECT_EQ(created.st_mode & 07777, 0666 & ~mask);
}

TEST_F(AtomicWrite, TheTemporaryFileIsPrivateAndNamedAsOurs) {
    std::string seen;
    EXPECT_EQ(SaveFile(target_,
                                  [&](ByteSink& sink) {
                                      for (const auto& entry :
                                           fs::directory_iterator(test::FsPath(folder_.path()))) {
                                          seen += entry.path().filename().string() + " ";
                                          seen += std::to_string(static_cast<int>(
                                              entry.status().permissions() & fs::perms::all));
                                      }
                                      return sink.Write("new");
                                  }),
              hr::kOk);
    // ".ostrel-", 16 hexadecimal digits, ".tmp", whatever the target's name; mode 0600 (384).
    const std::string digits = seen.substr(8, 16);
    EXPECT_EQ(seen.size(), 32u) << seen;
    EXPECT_EQ(seen.substr(0, 8) + seen.substr(24), ".ostrel-.tmp 384") << seen;
    EXPECT_EQ(digits.find_first_not_of("0123456789abcdef"), std::string::npos) << seen;
    EXPECT_EQ(folder_.Listing(), L"target \xE9.vlf\n");
}

TEST_F(AtomicWrite, AStopSignalAbandonsTheSave) {
    test::WriteBytes(target_, "old");
    {
        const StopRequestsHeld held;
        std::raise(SIGTERM);
        // Even for a producer that goes on after its writes failed.
        EXPECT_EQ(SaveFile(target_,
                                      [](ByteSink& sink) {
                                          sink.Write(std::string(1 << 20, 'x'));
                                          sink.Write("tail");
                                          return hr::kOk;
                                      }),
                  hr::kCancelled);
        sigset_t term;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        const timespec now{};
        EXPECT_EQ(sigtimedwait(&term, nullptr, &now),
                  SIGTERM);  // taken, so that it is not acted on
    }
    EXPECT_EQ(test::ReadBytes(target_), "old");
    EXPECT_EQ(folder_.Listing(), L"target \xE9.vlf\n");
}

TEST_F(AtomicWrite, AFolderThatRefusesNewFilesIsWrittenInPlace) {
    const std::wstring locked = folder_.File(L"locked");
    const std::string folder = test::FsPath(locked);
    fs::create_directory(folder);
    test::WriteBytes(locked + L"/kept.vlf", "old content, longer than the new");
    for (const char* name : {"", "/kept.vlf"}) {
        ASSERT_EQ(chown((folder + name).c_str(), test::kOrdinaryId, test::kOrdinaryId), 0);
    }
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    const int results = test::RunAsOrdinaryUser(locked, [] {
        const auto failing = [](ByteSink& sink) {
            sink.Write("half");
            return hr::kDiskFull;
        };
        return (SaveFile(L"kept.vlf", "new") == hr::kOk ? 1 : 0) +
               (SaveFile(L"other.vlf", "new") == hr::kAccessDenied ? 2 : 0) +
               (SaveFile(L"kept.vlf", failing) == hr::kDiskFull ? 4 : 0);
    });
    EXPECT_EQ(results, 7);
    EXPECT_EQ(test::ReadBytes(locked + L"/kept.vlf"), "new");
    EXPECT_EQ(RawListing(locked), "kept.vlf\n");
}
#endif

}  // namespace
}  // namespace ostrel::io
