// Every rewrite of a user's file in place (a lossless turn, an IPTC edit, a
// save over the picture as a convert makes it) keeps the file safe and its
// protection as it was: a read-only file is refused, the permissions carry
// over, a symbolic link's target is replaced and the link stays, a full disk
// leaves the target whole, and a file deleted before the replace step is
// not made again.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "imagelib/osfile.h"
#include "iptcfixtures.h"
#include "rewrites.h"
#include "tests/support/faults.h"

namespace {

namespace fs = std::filesystem;
using iptctest::Bytes;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::ToFsPath;
using rewritetest::Rewrite;
using rewritetest::Rewrites;

size_t FilesIn(const ScratchDir& dir) {
    size_t n = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) (void)entry, ++n;
    return n;
}

TEST(Rewrite, ReadOnlyFilesAreRefused) {
    for (const Rewrite& r : Rewrites()) {
        SCOPED_TRACE(r.name);
        ScratchDir dir;
        const std::wstring path = rewritetest::CopyPicture(dir, "photo.jpg");
        const Bytes before = ReadBytes(path);
        fs::permissions(ToFsPath(path), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        EXPECT_FALSE(r.run(path));
        EXPECT_TRUE(ReadBytes(path) == before);
        EXPECT_EQ(fs::perms::none, fs::status(ToFsPath(path)).permissions() & fs::perms::owner_write);
        EXPECT_EQ(1u, FilesIn(dir));
        fs::permissions(ToFsPath(path), fs::perms::owner_write, fs::perm_options::add);
    }
}

// Deleted after the new file was written and before it replaces the old one
// (the fault hook runs at that step): the rewrite fails and makes nothing.
const wchar_t* g_deleteAtReplace = nullptr;

bool DeleteTheTarget(ReplaceStep step) {
    if (step == ReplaceStep::kFlushData && g_deleteAtReplace) RemoveWidePath(g_deleteAtReplace);
    return false;
}

TEST(Rewrite, AFileDeletedBeforeTheReplaceStepIsNotRecreated) {
    for (const Rewrite& r : Rewrites()) {
        SCOPED_TRACE(r.name);
        ScratchDir dir;
        const std::wstring path = rewritetest::CopyPicture(dir, "photo.jpg");
        g_deleteAtReplace = path.c_str();
        SetReplaceFaultHook(DeleteTheTarget);
        EXPECT_FALSE(r.run(path));
        SetReplaceFaultHook(nullptr);
        g_deleteAtReplace = nullptr;
        EXPECT_FALSE(fs::exists(ToFsPath(path)));
        EXPECT_EQ(0u, FilesIn(dir));
    }
}

#ifndef _WIN32
TEST(Rewrite, PermissionsCarryOver) {
    for (const fs::perms mode : {fs::perms::owner_read | fs::perms::owner_write,
                                 fs::perms::owner_all | fs::perms::group_read | fs::perms::group_write}) {
        for (const Rewrite& r : Rewrites()) {
            SCOPED_TRACE(r.name);
            ScratchDir dir;
            const std::wstring path = rewritetest::CopyPicture(dir, "photo.jpg");
            fs::permissions(ToFsPath(path), mode);
            const Bytes before = ReadBytes(path);
            ASSERT_TRUE(r.run(path));
            EXPECT_FALSE(ReadBytes(path) == before);
            EXPECT_EQ(mode, fs::status(ToFsPath(path)).permissions());
        }
    }
}

// A file of another user, rewritten by root, stays that user's and group's
// (a process that is not root cannot give a file away: nothing to test).
TEST(Rewrite, OwnerAndGroupCarryOver) {
    if (geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
    const uid_t nobody = 65534;
    const gid_t nogroup = 65534;
    for (const Rewrite& r : Rewrites()) {
        SCOPED_TRACE(r.name);
        ScratchDir dir;
        const std::wstring path = rewritetest::CopyPicture(dir, "photo.jpg");
        const std::string native = ToFsPath(path).string();
        ASSERT_EQ(0, chown(native.c_str(), nobody, nogroup));
        fs::permissions(ToFsPath(path), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        const Bytes before = ReadBytes(path);
        ASSERT_TRUE(r.run(path));
        EXPECT_FALSE(ReadBytes(path) == before);
        struct stat st;
        ASSERT_EQ(0, stat(native.c_str(), &st));
        EXPECT_EQ(nobody, st.st_uid);
        EXPECT_EQ(nogroup, st.st_gid);
        EXPECT_EQ(mode_t(0640), st.st_mode & 07777);
    }
}

// A file with a second name (a hard link): replacing the one name would
// leave the old data under the other, so the rewrite is refused and both
// names keep the one file.
TEST(Rewrite, FilesWithOtherNamesAreRefused) {
    for (const Rewrite& r : Rewrites()) {
        SCOPED_TRACE(r.name);
        ScratchDir dir;
        const std::wstring path = rewritetest::CopyPicture(dir, "photo.jpg");
        const std::wstring other = dir.File("other.jpg");
        fs::create_hard_link(ToFsPath(path), ToFsPath(other));
        const Bytes before = ReadBytes(path);
        EXPECT_FALSE(r.run(path));
        EXPECT_TRUE(ReadBytes(path) == before);
        EXPECT_TRUE(fs::equivalent(ToFsPath(path), ToFsPath(other)));
        EXPECT_EQ(2u, FilesIn(dir));
    }
}

// A picture "real.jpg" and a symbolic link "link.jpg" to it.
struct LinkedPicture {
    ScratchDir dir;
    std::wstring target = rewritetest::CopyPicture(dir, "real.jpg");
    std::wstring link = dir.File("link.jpg");
    Bytes before = ReadBytes(target);
    LinkedPicture() { fs::create_symlink("real.jpg", ToFsPath(link)); }
};

TEST(Rewrite, ALinksTargetIsReplacedAndTheLinkStays) {
    for (const Rewrite& r : Rewrites()) {
        SCOPED_TRACE(r.name);
        LinkedPicture p;
        ASSERT_TRUE(r.run(p.link));
        EXPECT_TRUE(fs::is_symlink(ToFsPath(p.link)));
        EXPECT_FALSE(ReadBytes(p.target) == p.before);
        EXPECT_EQ(2u, FilesIn(p.dir));
        // A link that leads nowhere is refused.
        fs::remove(ToFsPath(p.target));
        EXPECT_FALSE(r.run(p.link));
        EXPECT_EQ(1u, FilesIn(p.dir));
    }
}

// A full disk part way through: the link's target is left whole.
TEST(Rewrite, AFullDiskLeavesALinksTargetWhole) {
    for (const Rewrite& r : Rewrites()) {
        SCOPED_TRACE(r.name);
        LinkedPicture p;
        ASSERT_GT(p.before.size(), 600u);
        bool done;
        {
            testing_support::FileSizeLimit limit(300);
            ASSERT_TRUE(limit.active());
            done = r.run(p.link);
        }
        EXPECT_FALSE(done);
        EXPECT_TRUE(ReadBytes(p.target) == p.before);
        EXPECT_TRUE(fs::is_symlink(ToFsPath(p.link)));
        EXPECT_EQ(2u, FilesIn(p.dir));
    }
}
#endif

}  // namespace
