#include "io/file_system.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <unistd.h>
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
}

class AtomicWrite : public testing::Test {
  protected:
    test::TempDir folder_;
    std::wstring target_ = folder_.File(L"target \xE9.vlf");
};

TEST_F(AtomicWrite, CreatesAndReplacesWholeFiles) {
    EXPECT_EQ(WriteFileAtomically(target_, "first version, longer"), hr::kOk);
    EXPECT_EQ(test::ReadBytes(target_), "first version, longer");
    EXPECT_EQ(WriteFileAtomically(target_, "second"), hr::kOk);
    EXPECT_EQ(test::ReadBytes(target_), "second");
    EXPECT_EQ(WriteFileAtomically(target_, ""), hr::kOk);
    EXPECT_EQ(test::ReadBytes(target_), "");
    EXPECT_EQ(folder_.Listing(), L"target \xE9.vlf\n");
}

TEST_F(AtomicWrite, RefusesReadOnlyTargetsAndFolders) {
    test::WriteBytes(target_, "old");
    fs::permissions(test::FsPath(target_), fs::perms::owner_read);
    EXPECT_EQ(WriteFileAtomically(target_, "new"), hr::kAccessDenied);
    EXPECT_EQ(test::ReadBytes(target_), "old");
    EXPECT_EQ(WriteFileAtomically(folder_.path(), "new"), hr::kAccessDenied);
    EXPECT_EQ(folder_.Listing(), L"target \xE9.vlf\n");
}

TEST_F(AtomicWrite, RefusesInvalidNamesAndMissingFolders) {
    for (const std::wstring& name : {std::wstring(), std::wstring(L"   "), std::wstring(L" \t "),
                                     folder_.File(L"missing/target.vlf")}) {
        EXPECT_EQ(WriteFileAtomically(name, "new"), hr::kInvalidArg) << name.size();
    }
    EXPECT_EQ(folder_.Listing(), L"");
}

#ifndef _WIN32
TEST_F(AtomicWrite, KeepsPermissionsAndWritesThroughLinks) {
    test::WriteBytes(target_, "old");
    fs::permissions(test::FsPath(target_),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    const std::wstring link = folder_.File(L"link.vlf");
    fs::create_symlink(test::FsPath(target_), test::FsPath(link));
    EXPECT_EQ(WriteFileAtomically(link, "new"), hr::kOk);
    EXPECT_TRUE(fs::is_symlink(test::FsPath(link)));
    EXPECT_EQ(test::ReadBytes(target_), "new");
    EXPECT_EQ(fs::status(test::FsPath(target_)).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
}

TEST_F(AtomicWrite, RefusesAFolderThatMayNotBeWritten) {
    if (geteuid() == 0) GTEST_SKIP() << "the superuser may write every folder";
    fs::permissions(test::FsPath(folder_.path()), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(WriteFileAtomically(target_, "new"), hr::kAccessDenied);
    fs::permissions(test::FsPath(folder_.path()), fs::perms::owner_all);
}
#endif

}  // namespace
}  // namespace ostrel::io
