// The file list: listed names, folder scans, the thumbnail box, the sort
// keys, the search match and the "Go to" folders.
#include <gtest/gtest.h>

#include <cstring>

#include "fakefolders.h"
#include "shell/filelist.h"

using namespace fake_folders;

namespace {

TEST(ListedNames, ExtensionsCaseAndAlbums) {
    struct Case {
        const wchar_t* name;
        int allowAlbum;
        int listed;
    };
    const Case cases[] = {
        {L"a.jpg", 0, 1},      {L"PHOTO.JPG", 0, 1},  {L"x.JpEg", 0, 1},  {L"scan.tiff", 0, 1},
        {L"raw.CR2", 0, 1},    {L"raw.dng", 0, 1},    {L"a.2bp", 0, 1},   {L"archive.zip", 0, 0},
        {L"show.ALB", 0, 0},   {L"show.ALB", 1, 1},   {L"noextension", 1, 0}, {L"a.jpg.txt", 0, 0},
        {L"cache.zt", 1, 0},   {L"cache.zt1", 1, 0},  {L"a.jpg.~sv0", 1, 0}, {L"a.jpg.~old1F", 1, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsListedPictureName(c.name, c.allowAlbum), c.listed) << c.name << " " << c.allowAlbum;
}

TEST(SplitPath, FolderAndName) {
    std::wstring folder = L"unchanged", name = L"x";
    SplitPathFolderName(P(L"/My Documents/a.jpg").c_str(), &folder, &name);
    EXPECT_EQ(folder, P(L"/My Documents/"));
    EXPECT_EQ(name, L"a.jpg");
    SplitPathFolderName(P(L"/My Documents/").c_str(), &folder, &name);
    EXPECT_EQ(folder, P(L"/My Documents/"));
    EXPECT_EQ(name, L"");
    folder = L"unchanged";
    SplitPathFolderName(L"bare.jpg", &folder, &name);
    EXPECT_EQ(folder, L"unchanged");
    EXPECT_EQ(name, L"");
}

TEST(Names, TheUserMayGive) {
    for (const wchar_t* good : {L"Holidays", L"a.jpg", L"New Folder (2)", L".hidden", L"x.y.z"})
        EXPECT_TRUE(IsAcceptableName(good)) << good;
    for (const wchar_t* bad : {L"", L"..", L".", L"   ", L"a\\b", L"..\\up", L"a/b", L"a..b", L"x:y", L"what?",
                               L"tab\there", L"NUL", L"aux.jpg", L"Com1", L"photo.", L"photo "})
        EXPECT_FALSE(IsAcceptableName(bad)) << bad;
}

class Scan : public ::testing::Test {
protected:
    void SetUp() override { Tree().clear(); }
    void TearDown() override { Tree().clear(); }
};

TEST_F(Scan, ListsPictureFilesOnlyWithAlbumsInState2) {
    Add(L"/d/", File(L"PHOTO.JPG", 10, 7));
    Add(L"/d/", File(L"photo.jpg"));
    Add(L"/d/", File(L".jpg"));     // 4 characters: never listed
    Add(L"/d/", File(L"a.jpg"));
    Add(L"/d/", File(L"archive.zip"));
    Add(L"/d/", File(L"show.ALB"));
    Add(L"/d/", File(L"cache.zt"));
    Add(L"/d/", Folder(L"sub.jpg"));  // a folder, whatever its name
    FileList list;
    ASSERT_TRUE(ScanFolder(List, P(L"/d/"), false, &list));
    EXPECT_EQ(Paths(list), (std::vector<std::wstring>{L"/d/PHOTO.JPG", L"/d/photo.jpg", L"/d/a.jpg", L"/d/show.ALB"}));
    EXPECT_EQ(list[0].size, 10u);
    EXPECT_EQ(list[0].lastWriteTime, 7u);
    EXPECT_EQ(list[0].state, uint32_t(kEntryNotExamined));
    EXPECT_EQ(list[3].state, uint32_t(kEntryAlbum));
    EXPECT_EQ(list.capacity(), 64u);
}

TEST_F(Scan, RecursiveOrderIsDepthFirstAfterTheFolderItself) {
    Add(L"/d/", Folder(L"one"));
    Add(L"/d/", File(L"top.jpg"));
    Add(L"/d/", Folder(L"two"));
    Add(L"/d/one/", File(L"a1.png"));
    Add(L"/d/one/", Folder(L"deep"));
    Add(L"/d/one/deep/", File(L"d1.gif"));
    Add(L"/d/one/", File(L"a2.png"));
    Add(L"/d/two/", File(L"b1.bmp"));
    FileList flat, deep;
    ASSERT_TRUE(ScanFolder(List, P(L"/d/"), false, &flat));
    ASSERT_TRUE(ScanFolder(List, P(L"/d/"), true, &deep));
    EXPECT_EQ(Paths(flat), (std::vector<std::wstring>{L"/d/top.jpg"}));
    EXPECT_EQ(Paths(deep), (std::vector<std::wstring>{L"/d/top.jpg", L"/d/one/a1.png", L"/d/one/a2.png",
                                                       L"/d/one/deep/d1.gif", L"/d/two/b1.bmp"}));
}

TEST_F(Scan, LinksAreNotEnteredAndUnlistableFoldersSkipped) {
    Add(L"/d/", File(L"a.jpg"));
    // A link back up the tree would make the walk endless.
    Add(L"/d/", FolderItem{L"loop", kAttributeFolder | kAttributeLink, 0, 0});
    Tree()[P(L"/d/loop/")] = Tree()[P(L"/d/")];
    Add(L"/d/", Folder(L"gone"));  // listed, but cannot be listed itself
    FileList list;
    ASSERT_TRUE(ScanFolder(List, P(L"/d/"), true, &list));
    EXPECT_EQ(Paths(list), (std::vector<std::wstring>{L"/d/a.jpg"}));
    FileList none;
    EXPECT_FALSE(ScanFolder(List, P(L"/missing/"), true, &none));
    EXPECT_TRUE(none.empty());
}

TEST_F(Scan, GrowsBy64KeepingEntriesAndSkipsPathsThatDoNotFit) {
    for (int i = 0; i < 65; ++i) Add(L"/d/", File(L"p" + std::to_wstring(100 + i) + L".jpg"));
    Add(L"/d/", File(std::wstring(300, L'n') + L".jpg"));  // the path would be cut
    FileList list;
    ASSERT_TRUE(ScanFolder(List, P(L"/d/"), false, &list));
    ASSERT_EQ(list.size(), 65u);
    EXPECT_EQ(list.capacity(), 128u);
    EXPECT_EQ(Paths(list)[0], L"/d/p100.jpg");
    EXPECT_EQ(Paths(list)[63], L"/d/p163.jpg");
    EXPECT_EQ(Paths(list)[64], L"/d/p164.jpg");
}

TEST(ThumbBox, SizesByThumbSizeVersionAndDpi) {
    struct Case {
        int32_t thumbSize;
        uint32_t os;
        int32_t dpi;
        int32_t side;
    };
    const Case cases[] = {
        {2, 5, 96, 70}, {2, 5, 192, 140}, {2, 4, 96, 68}, {1, 5, 96, 51}, {1, 4, 96, 50}, {3, 5, 96, 107},
        {4, 4, 96, 218}, {4, 5, 131, 300}, {0, 5, 96, 38}, {9, 5, 96, 38}, {-1, 4, 96, 38}, {2, 5, 0, 0},
    };
    for (const Case& c : cases) {
        int32_t w = -1, h = -1;
        ThumbBoxFor(c.thumbSize, c.os, c.dpi, c.dpi * 2, &w, &h);
        EXPECT_EQ(w, c.side) << c.thumbSize << " " << c.os << " " << c.dpi;
        int32_t expectH = int32_t((int64_t(c.dpi) * 2 * NominalThumbSize(c.thumbSize, c.os) + 48) / 96);
        EXPECT_EQ(h, expectH);
    }
}

// Entries for the sort tables: name, size, time, state, format, width, height.
FileListEntry Entry(const wchar_t* path, uint64_t size, uint64_t time, uint32_t state = kEntryNotExamined,
                    int16_t format = 0, uint32_t width = 0, uint32_t height = 0, uint32_t attributes = 0) {
    FileListEntry e;
    std::memset(&e, 0, sizeof e);
    std::wcscpy(e.path, path);
    e.size = size;
    e.lastWriteTime = time;
    e.state = state;
    e.formatIndex = format;
    e.width = width;
    e.height = height;
    e.attributes = attributes;
    return e;
}

std::vector<std::wstring> SortedNames(FileList list, uint32_t sort) {
    SortFileEntries(&list, sort);
    std::vector<std::wstring> names;
    for (const FileListEntry& e : list) names.push_back(e.path);
    return names;
}

TEST(Sort, EveryKeyInBothDirections) {
    const FileList list = {
        Entry(L"b.jpg", 5000000000ull, 30, kEntryExamined, 3, 4000, 3000),
        Entry(L"A.png", 100, 10, kEntryExamined, 5, 100, 100),
        Entry(L"c.gif", 100, 20, kEntryExamined, 3, 70000, 70000),  // product beyond 32 bits
        Entry(L"d.alb", 3000000000ull, 20, kEntryAlbum),
        Entry(L"..", 0, 0, 0, 0, 0, 0, kAttributeFolder),
        Entry(L"Zdir", 0, 0, 0, 0, 0, 0, kAttributeFolder),
        Entry(L"adir", 0, 0, 0, 0, 0, 0, kAttributeFolder),
    };
    struct Case {
        uint32_t sort;
        std::vector<std::wstring> order;
    };
    const Case cases[] = {
        {kSortName, {L"..", L"adir", L"Zdir", L"A.png", L"b.jpg", L"c.gif", L"d.alb"}},
        {kSortName | 0x1000, {L"..", L"Zdir", L"adir", L"d.alb", L"c.gif", L"b.jpg", L"A.png"}},
        // Folders other than by name: code-unit order in both directions.
        {kSortDate, {L"..", L"Zdir", L"adir", L"A.png", L"c.gif", L"d.alb", L"b.jpg"}},
        {kSortDate | 0x1000, {L"..", L"Zdir", L"adir", L"b.jpg", L"d.alb", L"c.gif", L"A.png"}},
        // Examined pictures by format first, the album after them.
        {kSortType, {L"..", L"Zdir", L"adir", L"b.jpg", L"c.gif", L"A.png", L"d.alb"}},
        {kSortType | 0x1000, {L"..", L"Zdir", L"adir", L"d.alb", L"A.png", L"c.gif", L"b.jpg"}},
        // Sizes beyond 32 bits compare as sizes; equal sizes by path.
        {kSortSize, {L"..", L"Zdir", L"adir", L"A.png", L"c.gif", L"d.alb", L"b.jpg"}},
        {kSortSize | 0x1000, {L"..", L"Zdir", L"adir", L"b.jpg", L"d.alb", L"c.gif", L"A.png"}},
        // Examined pictures first in either direction; 70000 x 70000 is the largest.
        {kSortResolution, {L"..", L"Zdir", L"adir", L"A.png", L"b.jpg", L"c.gif", L"d.alb"}},
        {kSortResolution | 0x1000, {L"..", L"Zdir", L"adir", L"c.gif", L"b.jpg", L"A.png", L"d.alb"}},
    };
    for (const Case& c : cases) EXPECT_EQ(SortedNames(list, c.sort), c.order) << std::hex << c.sort;
    // A key of 5 or more leaves the order alone.
    EXPECT_EQ(SortedNames(list, 5)[0], L"b.jpg");
}

TEST(Sort, UnexaminedPicturesByPathAndEqualSizesReversedWhenDescending) {
    const FileList list = {Entry(L"c.jpg", 7, 1), Entry(L"a.jpg", 7, 1), Entry(L"b.jpg", 7, 1)};
    EXPECT_EQ(SortedNames(list, kSortResolution), (std::vector<std::wstring>{L"a.jpg", L"b.jpg", L"c.jpg"}));
    EXPECT_EQ(SortedNames(list, kSortResolution | 0x1000), (std::vector<std::wstring>{L"a.jpg", L"b.jpg", L"c.jpg"}));
    EXPECT_EQ(SortedNames(list, kSortSize | 0x1000), (std::vector<std::wstring>{L"c.jpg", L"b.jpg", L"a.jpg"}));
}

TEST(Search, SizeClassesNamesAndTypes) {
    struct Case {
        const wchar_t* name;
        uint64_t size;
        const wchar_t* contain;
        int sizeClass;
        bool match;
    };
    const Case cases[] = {
        {L"a.jpg", 51700, L"", 1, true},   // counts as 51,200: both "< 50K" and "> 50K"
        {L"a.jpg", 51700, L"", 2, true},
        {L"a.jpg", 52224, L"", 1, false},
        {L"a.jpg", 50000, L"", 2, false},
        {L"a.jpg", 102400, L"", 4, true},
        {L"a.jpg", 204799, L"", 5, true},
        {L"a.jpg", 204799, L"", 6, false},
        {L"a.jpg", 5000000000ull, L"", 6, true},
        {L"img_001.jpg", 1, L"IMG", 0, false},  // case matters
        {L"IMG_001.jpg", 1, L"IMG", 0, true},
        {L"show.alb", 1, L"", 0, false},        // never an album
        {L"notes.txt", 1, L"", 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileSearchMatch(FolderItem{c.name, 0, c.size, 0}, SearchFilter{c.contain, c.sizeClass}), c.match)
            << c.name << " " << c.size << " " << c.sizeClass;
}

TEST_F(Scan, SearchByPatternAndSubfolders) {
    Add(L"/d/", File(L"a.jpg"));
    Add(L"/d/", File(L"b.jpeg"));
    Add(L"/d/", File(L"c.png"));
    Add(L"/d/", Folder(L"s"));
    Add(L"/d/s/", File(L"d.JPG"));
    FileList jpegs, all;
    size_t reported = 0;
    auto count = [](size_t n, void* user) { *static_cast<size_t*>(user) = n; };
    FileSearch(List, P(L"/d/"), L"*.jpg", SearchFilter{L"", 0}, true, &jpegs, count, &reported);
    EXPECT_EQ(Paths(jpegs), (std::vector<std::wstring>{L"/d/a.jpg", L"/d/s/d.JPG"}));
    EXPECT_EQ(reported, 2u);
    FileSearch(List, P(L"/d/"), L"*.*", SearchFilter{L"", 0}, false, &all, nullptr, nullptr);
    EXPECT_EQ(Paths(all), (std::vector<std::wstring>{L"/d/a.jpg", L"/d/b.jpeg", L"/d/c.png"}));
}

TEST(GoTo, AncestorsFromTheRootCappedAtTheMenuIds) {
    EXPECT_EQ(GoToFolders(P(L"/My Documents/Pictures/")), (std::vector<std::wstring>{P(L"/My Documents")}));
    EXPECT_EQ(GoToFolders(P(L"/Storage Card/DCIM/100MEDIA/")),
              (std::vector<std::wstring>{P(L"/Storage Card"), P(L"/Storage Card/DCIM")}));
    EXPECT_TRUE(GoToFolders(P(L"/")).empty());
    EXPECT_TRUE(GoToFolders(P(L"/Storage Card/")).empty());
    EXPECT_TRUE(GoToFolders(L"").empty());
    std::wstring deep = L"";
    for (int i = 0; i < 14; ++i) deep += P(L"/f") + std::to_wstring(i);
    const auto folders = GoToFolders(deep + P(L"/"));
    ASSERT_EQ(folders.size(), kGoToMenuItems);
    EXPECT_EQ(folders.back(), deep.substr(0, deep.rfind(Separator())));
}

}  // namespace
