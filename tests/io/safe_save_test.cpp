#include "io/safe_save.h"
#include "io/sinks.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <acl/libacl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/acl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <functional>
#include <memory>

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

// A file with other names (hard links) keeps being the file it was: it is rewritten in place, and
// every name sees the new content. A new target never replaces a file that appeared under its
// name meanwhile.
TEST_F(AtomicWrite, KeepsHardLinksAndFilesThatAppearedMeanwhile) {
    test::WriteBytes(target_, "old content");
    const std::wstring other = folder_.File(L"other name.vlf");
    fs::create_hard_link(test::FsPath(target_), test::FsPath(other));
    EXPECT_EQ(SaveFile(target_, "new"), hr::kOk);
    EXPECT_EQ(test::ReadBytes(other), "new");
    fs::remove(test::FsPath(other));
    fs::remove(test::FsPath(target_));
    EXPECT_EQ(SaveFile(target_,
                       [this](ByteSink& sink) {
                           test::WriteBytes(target_, "theirs");
                           return sink.Write("ours");
                       }),
              hr::kFileExists);
    EXPECT_EQ(test::ReadBytes(target_), "theirs");
    EXPECT_EQ(folder_.Listing(), L"target \xE9.vlf\n");
}

#ifndef _WIN32
TEST_F(AtomicWrite, TheLongestNameTheFileSystemTakesIsKept) {
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
                               seen += std::to_string(
                                   static_cast<int>(entry.status().permissions() & fs::perms::all));
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

TEST_F(AtomicWrite, NoDescriptorItOpensIsAStandardOne) {
    test::WriteBytes(target_, "old");
    const std::wstring created = folder_.File(L"created.vlf");
    // What another part of the program prints meanwhile goes to the standard descriptors.
    const auto content = [](ByteSink& sink) {
        for (int fd : {0, 1, 2}) EXPECT_EQ(write(fd, "noise", 5), -1);
        return sink.Write("content");
    };
    const int status = test::StatusOfChild([&] {
        for (int fd : {0, 1, 2}) close(fd);
        _exit(SaveFile(target_, content) == hr::kOk && SaveFile(created, content) == hr::kOk);
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(test::ReadBytes(target_), "content");
    EXPECT_EQ(test::ReadBytes(created), "content");
}

// Another program saves the file between the load and the save, by a new file renamed over it or
// by rewriting it (the target is then rewritten in place, having another name): its content is
// kept, nothing is left behind.
TEST_F(AtomicWrite, AnotherProgramsSaveIsNeverOverwritten) {
    const std::string path = test::FsPath(target_);
    const std::string other = test::FsPath(folder_.File(L"other"));
    const auto renameOver = [&] {
        test::WriteBytes(folder_.File(L"other"), "theirs");
        return rename(other.c_str(), path.c_str()) == 0;
    };
    const auto rewrite = [&] {
        test::WriteBytes(target_, "theirs");
        return true;
    };
    for (const bool linked : {false, true}) {
        for (const auto& change :
             {std::function<bool()>(renameOver), std::function<bool()>(rewrite)}) {
            test::WriteBytes(target_, "old");
            if (linked) {
                ASSERT_EQ(link(path.c_str(), other.c_str()), 0);
            }
            const std::optional<FileSnapshot> source = SnapshotOf(target_);
            ASSERT_TRUE(source);
            EXPECT_EQ(SaveFile(
                          target_,
                          [&](ByteSink& sink) { return change() ? sink.Write("ours") : hr::kFail; },
                          &*source),
                      hr::kSourceChanged);
            EXPECT_EQ(test::ReadBytes(target_), "theirs");
            fs::remove(other);
            EXPECT_EQ(folder_.Listing(), L"target \xE9.vlf\n");
        }
    }
}

// A file whose owner the user may not give keeps its owner: it is rewritten in place.
TEST_F(AtomicWrite, AnOwnerTheUserCannotGiveIsKept) {
    if (geteuid() != 0) GTEST_SKIP() << "only the superuser can make a file somebody else's";
    test::WriteBytes(target_, "old content");
    const std::string path = test::FsPath(target_);
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(chown(test::FsPath(folder_.path()).c_str(), test::kOrdinaryId, 0), 0);
    EXPECT_EQ(test::RunAsOrdinaryUser(
                  folder_.path(), [] { return SaveFile(L"target \xE9.vlf", "theirs") == hr::kOk; }),
              1);
    struct stat status;
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 0u);
    EXPECT_EQ(test::ReadBytes(target_), "theirs");
}

TEST_F(AtomicWrite, KeepsTheAccessListAndExtendedAttributes) {
    test::WriteBytes(target_, "old");
    const std::string path = test::FsPath(target_);
    const acl_t denying = acl_from_text("u::rw-,u:65534:r--,g::---,m::r--,o::---");
    ASSERT_NE(denying, nullptr);
    const int set = acl_set_file(path.c_str(), ACL_TYPE_ACCESS, denying);
    acl_free(denying);
    if (set != 0 || setxattr(path.c_str(), "user.origin", "kept", 4, 0) != 0) {
        GTEST_SKIP() << "this file system keeps no access-control list or user attribute";
    }
    EXPECT_EQ(SaveFile(target_, "new"), hr::kOk);
    EXPECT_EQ(test::ReadBytes(target_), "new");
    const acl_t kept = acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
    ASSERT_NE(kept, nullptr);
    char* text = acl_to_any_text(kept, nullptr, ',', TEXT_NUMERIC_IDS);
    EXPECT_STREQ(text, "user::rw-,user:65534:r--,group::---,mask::r--,other::---");
    acl_free(text);
    acl_free(kept);
    char value[16] = {};
    EXPECT_EQ(getxattr(path.c_str(), "user.origin", value, sizeof value), 4);
    EXPECT_STREQ(value, "kept");
}

// A folder the ordinary user may not write, holding a file the user may write.
void LockFolder(const std::string& folder, std::string_view old) {
    fs::create_directory(folder);
    test::WriteBytes(WideName(folder + "/kept.vlf"), old);
    for (const char* name : {"", "/kept.vlf"}) {
        EXPECT_EQ(chown((folder + name).c_str(), test::kOrdinaryId, test::kOrdinaryId), 0);
    }
    EXPECT_EQ(chmod(folder.c_str(), 0555), 0);
}

TEST_F(AtomicWrite, AFolderThatRefusesNewFilesIsWrittenInPlace) {
    const std::string folder = test::FsPath(folder_.File(L"locked"));
    LockFolder(folder, "old content, longer than the new");
    const int results = test::RunAsOrdinaryUser(WideName(folder), [] {
        const auto failing = [](ByteSink& sink) {
            sink.Write("half");
            return hr::kDiskFull;
        };
        return (SaveFile(L"kept.vlf", "new") == hr::kOk ? 1 : 0) +
               (SaveFile(L"other.vlf", "new") == hr::kAccessDenied ? 2 : 0) +
               (SaveFile(L"kept.vlf", failing) == hr::kDiskFull ? 4 : 0);
    });
    EXPECT_EQ(results, 7);
    EXPECT_EQ(test::ReadBytes(WideName(folder + "/kept.vlf")), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

// The time of the file's last change, to tell that not a byte of it was written.
std::int64_t ChangeTime(const std::string& path) {
    struct stat status = {};
    stat(path.c_str(), &status);
    return std::int64_t{status.st_ctim.tv_sec} * 1000000000 + status.st_ctim.tv_nsec;
}

TEST_F(AtomicWrite, AnInPlaceWriteBeyondTheFileSizeLimitChangesNothing) {
    const std::string folder = test::FsPath(folder_.File(L"locked"));
    LockFolder(folder, "old");
    const std::int64_t before = ChangeTime(folder + "/kept.vlf");
    const int result = test::RunAsOrdinaryUser(WideName(folder), [] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, 64};
        setrlimit(RLIMIT_FSIZE, &limit);
        return SaveFile(L"kept.vlf", std::string(100, 'n')) == hr::kFileTooLarge;
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(test::ReadBytes(WideName(folder + "/kept.vlf")), "old");
    EXPECT_EQ(ChangeTime(folder + "/kept.vlf"), before);
}

// A disk that fails to write or to flush (EIO, injected): the old bytes must stay or go back.
TEST_F(AtomicWrite, AFailedInPlaceWritePutsTheOldBytesBack) {
    test::WriteBytes(target_, "old content, longer than the new");
    const std::wstring other = folder_.File(L"other name.vlf");  // so that it is written in place
    fs::create_hard_link(test::FsPath(target_), test::FsPath(other));
    for (const unsigned failing : {SYS_pwrite64, SYS_fsync}) {
        const int status = test::StatusOfChild([&] {
            sock_filter filter[] = {
                BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, failing, 0, 1),
                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            };
            const sock_fprog program{sizeof filter / sizeof filter[0], filter};
            if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
                prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
                _exit(3);
            }
            _exit(SaveFile(target_, "new") == hr::kWriteFault ? 1 : 2);
        });
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << failing << " " << status;
        EXPECT_EQ(test::ReadBytes(other), "old content, longer than the new") << failing;
    }
}

// A file system without reserved writes (ext2), full: the in-place write must prove the room.
TEST_F(AtomicWrite, AnInPlaceWriteOnAFullDiskChangesNothing) {
    const std::string image = test::FsPath(folder_.File(L"disk.img"));
    const std::string mount = test::FsPath(folder_.File(L"disk"));
    fs::create_directory(mount);
    test::WriteBytes(WideName(image), "");
    fs::resize_file(image, 1 << 20);
    const std::string make = "mkfs.ext2 -q -F '" + image + "' >/dev/null 2>&1";
    if (geteuid() != 0 || std::system(make.c_str()) != 0 ||
        std::system(("mount -o loop '" + image + "' '" + mount + "' 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP()
            << "SKIPPED: no loop-mounted ext2 here (needs root, mkfs.ext2 and loop devices)";
    }
    const std::unique_ptr<const char, void (*)(const char*)> mounted(
        mount.c_str(), [](const char* path) { umount(path); });
    const std::string folder = mount + "/locked";
    LockFolder(folder, "old");
    // A file with a hole has fewer blocks than its size: overwriting it needs room as well.
    const std::string sparse = folder + "/sparse.vlf";
    test::WriteBytes(WideName(sparse), "");
    fs::resize_file(sparse, 300000);
    ASSERT_EQ(chown(sparse.c_str(), test::kOrdinaryId, test::kOrdinaryId), 0);
    std::FILE* filler = std::fopen((mount + "/filler").c_str(), "w");
    ASSERT_NE(filler, nullptr);
    const std::string block(4096, 'f');
    while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() &&
           std::fflush(filler) == 0) {
    }
    std::fclose(filler);
    const std::int64_t before = ChangeTime(folder + "/kept.vlf") + ChangeTime(sparse);
    EXPECT_EQ(test::RunAsOrdinaryUser(WideName(folder),
                                      [] {
                                          const std::string content(200000, 'n');
                                          return SaveFile(L"kept.vlf", content) == hr::kDiskFull &&
                                                 SaveFile(L"sparse.vlf", content) == hr::kDiskFull;
                                      }),
              1);
    EXPECT_EQ(test::ReadBytes(WideName(folder + "/kept.vlf")), "old");
    EXPECT_EQ(ChangeTime(folder + "/kept.vlf") + ChangeTime(sparse), before);
}

// A stop signal during a save: the save is abandoned, and then the signal ends the process. One
// that was ignored when the program started stays ignored.
TEST_F(AtomicWrite, EveryStopSignalAbandonsTheSaveAndEndsTheProcess) {
    test::WriteBytes(target_, "old");
    for (const int signal : {SIGQUIT, SIGUSR1, SIGINT}) {
        const bool ignored = signal == SIGINT;
        const int status = test::StatusOfChild([&] {
            const rlimit noCore{0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            if (ignored) std::signal(SIGINT, SIG_IGN);
            const StopRequestsHandled handled;
            const HResult saved = SaveFile(target_, [&](ByteSink& sink) {
                kill(getpid(), signal);
                return sink.Write(std::string(1 << 20, 'n'));
            });
            if (saved != (ignored ? hr::kOk : hr::kCancelled)) _exit(2);
        });
        if (ignored) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
            EXPECT_EQ(test::ReadBytes(target_), "old");
        }
        EXPECT_EQ(folder_.Listing(), L"target \xE9.vlf\n");
    }
    EXPECT_EQ(test::ReadBytes(target_), std::string(1 << 20, 'n'));
}
#endif

}  // namespace
}  // namespace ostrel::io
