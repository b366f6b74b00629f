// Rewrites of a user's file in place keep its Windows attributes: a hidden
// or system picture stays so (a new file would get none), and a read-only
// one is refused (SetFileAttributesW, as the file manager sets them), and
// so is one with a second name.
#include <windows.h>

#include <gtest/gtest.h>

#include "rewrites.h"
#include "tests/support/testfiles.h"

namespace {

using rewritetest::Rewrite;
using rewritetest::Rewrites;
using testing_support::ReadBytes;
using testing_support::ScratchDir;

TEST(RewriteWin, HiddenAndSystemAttributesStay) {
    for (const DWORD kept : {DWORD(FILE_ATTRIBUTE_HIDDEN), DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)}) {
        for (const Rewrite& r : Rewrites()) {
            SCOPED_TRACE(r.name);
            ScratchDir dir;
            const std::wstring path = rewritetest::CopyPicture(dir, "photo.jpg");
            ASSERT_TRUE(SetFileAttributesW(path.c_str(), kept));
            const std::vector<uint8_t> before = ReadBytes(path);
            ASSERT_TRUE(r.run(path));
            EXPECT_NE(before, ReadBytes(path));
            const DWORD after = GetFileAttributesW(path.c_str());
            ASSERT_NE(INVALID_FILE_ATTRIBUTES, after);
            EXPECT_EQ(kept, after & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY));
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    }
}

TEST(RewriteWin, ReadOnlyAttributeRefuses) {
    for (const Rewrite& r : Rewrites()) {
        SCOPED_TRACE(r.name);
        ScratchDir dir;
        const std::wstring path = rewritetest::CopyPicture(dir, "photo.jpg");
        ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
        const std::vector<uint8_t> before = ReadBytes(path);
        EXPECT_FALSE(r.run(path));
        EXPECT_EQ(before, ReadBytes(path));
        EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
                  GetFileAttributesW(path.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// A file with a second name (CreateHardLinkW, as on NTFS) is refused: a new
// file under one name would leave the old data under the other.
TEST(RewriteWin, FilesWithOtherNamesAreRefused) {
    for (const Rewrite& r : Rewrites()) {
        SCOPED_TRACE(r.name);
        ScratchDir dir;
        const std::wstring path = rewritetest::CopyPicture(dir, "photo.jpg");
        const std::wstring other = dir.File("other.jpg");
        ASSERT_TRUE(CreateHardLinkW(other.c_str(), path.c_str(), nullptr));
        const std::vector<uint8_t> before = ReadBytes(path);
        EXPECT_FALSE(r.run(path));
        EXPECT_EQ(before, ReadBytes(path));
        EXPECT_EQ(before, ReadBytes(other));
    }
}

}  // namespace
