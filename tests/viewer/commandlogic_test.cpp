// The main window's commands apart from their windows: copy and new-folder
// names, folder navigation, names the user may give, batch names, card
// pictures and the sort setting.
#include "app/commandlogic.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

namespace {

PathExists In(const std::set<std::wstring>& paths) {
    return [paths](const std::wstring& path) { return paths.count(path) != 0; };
}

const std::wstring kCopyOf = L"%sCopy of %s";
const std::wstring kCopyN = L"%sCopy (%d) of %s";

TEST(CommandLogic, CopyNamesTakeTheFirstFreeOne) {
    const struct {
        std::set<std::wstring> existing;
        std::wstring target;
    } cases[] = {
        {{}, L"\\d\\a.jpg"},
        {{L"\\d\\a.jpg"}, L"\\d\\Copy of a.jpg"},
        {{L"\\d\\a.jpg", L"\\d\\Copy of a.jpg"}, L"\\d\\Copy (2) of a.jpg"},
        {{L"\\d\\a.jpg", L"\\d\\Copy of a.jpg", L"\\d\\Copy (2) of a.jpg"}, L"\\d\\Copy (3) of a.jpg"},
    };
    for (const auto& c : cases) EXPECT_EQ(MakeCopyName(L"\\d\\", L"a.jpg", kCopyOf, kCopyN, In(c.existing)), c.target);
    // Every name taken: the last one tried, and the search stops.
    int asked = 0;
    const std::wstring last = MakeCopyName(L"\\d\\", L"a.jpg", kCopyOf, kCopyN, [&](const std::wstring&) {
        ++asked;
        return true;
    });
    EXPECT_EQ(last, L"\\d\\Copy (998) of a.jpg");
    EXPECT_EQ(asked, 2 + 997);
}

TEST(CommandLogic, TranslatedPatternsReadOnlyWhatTheyAreGiven) {
    const std::wstring texts[] = {L"\\d\\", L"a.jpg"};
    EXPECT_EQ(FillPattern(L"%s%s copie %d", texts, 2, 4), L"\\d\\a.jpg copie 4");
    EXPECT_EQ(FillPattern(L"%s%s%s%n%x 100%%", texts, 2, 0), L"\\d\\a.jpg%n%x 100%");
    EXPECT_EQ(FillPattern(L"trailing %", texts, 2, 0), L"trailing %");
}

TEST(CommandLogic, NewFolderProposal) {
    EXPECT_EQ(ProposeNewFolderName(L"\\d\\", L"New Folder", In({})), L"New Folder");
    EXPECT_EQ(ProposeNewFolderName(L"\\d\\", L"New Folder", In({L"\\d\\New Folder", L"\\d\\New Folder (1)"})),
              L"New Folder (2)");
    EXPECT_EQ(ProposeNewFolderName(L"\\d\\", L"New Folder", [](const std::wstring&) { return true; }), L"New Folder");
}

TEST(CommandLogic, FolderNavigation) {
    const struct {
        std::wstring folder, up;
    } cases[] = {
        {L"\\Storage Card\\", L"\\"},
        {L"\\Storage Card\\DCIM\\100MEDIA\\", L"\\Storage Card\\DCIM\\"},
        {L"\\", L"\\"},
        {L"plain", L"plain"},
        {L"", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(ParentFolder(c.folder), c.up) << c.folder;
}

TEST(CommandLogic, FavoriteLabels) {
    EXPECT_TRUE(IsAcceptableFavoriteLabel(L"Card pictures"));
    EXPECT_TRUE(IsAcceptableFavoriteLabel(std::wstring(63, L'x')));
    for (const std::wstring& bad : {std::wstring(), std::wstring(L"a\\b"), std::wstring(64, L'x')})
        EXPECT_FALSE(IsAcceptableFavoriteLabel(bad)) << bad.size();
}

TEST(CommandLogic, CardPicturesAndNames) {
    for (const wchar_t* yes : {L"a.JPG", L"b.jpeg", L"c.Cr2", L"d.alb", L"e.tiff", L"x.y.png"})
        EXPECT_TRUE(IsCardPictureName(yes)) << yes;
    for (const wchar_t* no : {L"a.txt", L"jpg", L"a.", L"a.jpgx", L""}) EXPECT_FALSE(IsCardPictureName(no)) << no;
    EXPECT_EQ(NameOfPath(L"\\d\\a.jpg"), L"a.jpg");
    EXPECT_EQ(NameOfPath(L"a.jpg"), L"a.jpg");
}

TEST(CommandLogic, SortCommandsKeepTheOtherHalf) {
    EXPECT_EQ(SortAfterCommand(0, 3, -1), 3);
    EXPECT_EQ(SortAfterCommand(kSortDescendingBit | 1, 4, -1), kSortDescendingBit | 4);
    EXPECT_EQ(SortAfterCommand(2, -1, 1), kSortDescendingBit | 2);
    EXPECT_EQ(SortAfterCommand(kSortDescendingBit | 2, -1, 0), 2);
}

// A folder tree to delete, listed by the test: "\\d\\" holds a file, a
// subfolder with a file, a link to a folder (whose target holds kept.jpg)
// and a link to a file. Every removal is logged; `failing` refuses one.
std::vector<std::wstring> g_removed;
std::wstring g_failing;

bool ListTree(const std::wstring& folder, FileNameFilter, std::vector<FolderItem>* items) {
    static const std::map<std::wstring, std::vector<FolderItem>> tree = {
        {L"\\d\\",
         {{L".", kAttributeFolder, 0, 0},
          {L"..", kAttributeFolder, 0, 0},
          {L"own.jpg", 0, 1, 1},
          {L"sub", kAttributeFolder, 0, 1},
          {L"link", kAttributeFolder | kAttributeLink, 0, 1},
          {L"file link.jpg", kAttributeLink, 0, 1}}},
        {L"\\d\\sub\\", {{L"deep.jpg", 0, 1, 1}}},
        {L"\\d\\link\\", {{L"kept.jpg", 0, 1, 1}}},  // outside, seen through the link
    };
    const auto found = tree.find(folder);
    if (found == tree.end()) return false;
    *items = found->second;
    return true;
}
bool Removed(const std::wstring& what) {
    g_removed.push_back(what);
    return what.find(g_failing) == std::wstring::npos || g_failing.empty();
}
const TreeRemoval kLoggedRemoval = {
    ListTree,
    [](const std::wstring& path) { return Removed(L"file " + path); },
    [](const std::wstring& path) { return Removed(L"folder " + path); },
    [](const std::wstring& path, bool folder) { return Removed((folder ? L"folder link " : L"file link ") + path); },
};

TEST(CommandLogic, DeletingAFolderTreeRemovesLinksAndNeverEntersThem) {
    g_removed.clear();
    g_failing.clear();
    EXPECT_TRUE(DeleteFolderTreeWith(L"\\d\\", kLoggedRemoval));
    EXPECT_EQ(g_removed, (std::vector<std::wstring>{L"file \\d\\own.jpg", L"file \\d\\sub\\deep.jpg",
                                                    L"folder \\d\\sub", L"folder link \\d\\link",
                                                    L"file link \\d\\file link.jpg", L"folder \\d"}));
    // The first failure ends the walk, and the folder stays.
    g_removed.clear();
    g_failing = L"deep.jpg";
    EXPECT_FALSE(DeleteFolderTreeWith(L"\\d\\", kLoggedRemoval));
    EXPECT_EQ(g_removed.back(), L"file \\d\\sub\\deep.jpg");
    EXPECT_FALSE(DeleteFolderTreeWith(L"\\missing\\", kLoggedRemoval)) << "a folder that cannot be listed";
}

}  // namespace
