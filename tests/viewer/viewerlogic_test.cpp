// The viewer's window-free decisions: command lines, panes, load boxes,
// automatic rotation, the slideshow's steps and the file list's texts.
#include "shell/viewerlogic.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(CommandLine, QuotedAndPlainPaths) {
    EXPECT_EQ(CommandLinePath(L""), L"");
    EXPECT_EQ(CommandLinePath(L"   "), L"");
    EXPECT_EQ(CommandLinePath(L"\\My Documents\\a.jpg"), L"\\My Documents\\a.jpg");
    EXPECT_EQ(CommandLinePath(L"  \"\\My Documents\\b c.jpg\"  "), L"\\My Documents\\b c.jpg");
    EXPECT_EQ(CommandLinePath(L"\"\\unclosed.jpg"), L"\\unclosed.jpg");
    EXPECT_EQ(CommandLinePath(L"\\x.jpg \t"), L"\\x.jpg");
}

TEST(CopyData, SizeAndTerminationChecked) {
    const char16_t good[] = u"\\a.jpg";
    std::u16string text = u"unchanged";
    EXPECT_TRUE(CopyDataText(good, sizeof good, &text));
    EXPECT_EQ(text, u"\\a.jpg");
    text = u"unchanged";
    EXPECT_FALSE(CopyDataText(good, sizeof good - 2, &text)) << "no terminating zero";
    EXPECT_FALSE(CopyDataText(good, sizeof good - 1, &text)) << "odd byte count";
    EXPECT_FALSE(CopyDataText(good, 0, &text));
    EXPECT_FALSE(CopyDataText(nullptr, 8, &text));
    const char16_t inner[] = u"a\0b";
    EXPECT_FALSE(CopyDataText(inner, sizeof inner, &text)) << "a zero inside";
    EXPECT_EQ(text, u"unchanged");
}

TEST(Panes, LayoutsOfEveryMode) {
    PaneInput in = {0, false, false, false, 100, 90, 240, 268};
    PaneLayout p = LayoutPanes(in);
    EXPECT_TRUE(p.tree.visible && p.list.visible && !p.view.visible);
    EXPECT_EQ(p.tree.bottom, 100);
    EXPECT_EQ(p.list.top, 108);
    EXPECT_EQ(p.list.bottom, 268);
    EXPECT_EQ(p.splitterTop, 100) << "the bar between tree and list";
    in.treeHidden = true;
    p = LayoutPanes(in);
    EXPECT_FALSE(p.tree.visible);
    EXPECT_EQ(p.list.top, 8);
    EXPECT_EQ(p.splitterTop, 0) << "the bar at the top";
    in.treeHidden = false;
    in.listHidden = true;
    p = LayoutPanes(in);
    EXPECT_FALSE(p.list.visible);
    EXPECT_EQ(p.tree.bottom, 260);
    EXPECT_EQ(p.splitterTop, 260) << "the bar at the bottom, whatever the tree's height was";
    in.mode = 3;
    p = LayoutPanes(in);
    EXPECT_EQ(p.list.bottom, 90);
    EXPECT_EQ(p.view.top, 90);
    EXPECT_FALSE(p.tree.visible);
    EXPECT_EQ(p.splitterTop, -1);
    for (int mode : {4, 5}) {
        in.mode = mode;
        p = LayoutPanes(in);
        EXPECT_TRUE(p.view.visible && !p.list.visible && !p.tree.visible);
        EXPECT_EQ(p.view.bottom, 268);
    }
    in.mode = 0;
    in.slideshowRunning = true;
    EXPECT_FALSE(LayoutPanes(in).list.visible);
}

// The settings keep tree heights up to 4096: on a smaller window the list
// still keeps the least height a drag leaves it.
TEST(Panes, AStoredTreeHeightBeyondTheWindowLeavesTheList) {
    for (int32_t stored : {4096, 260, 247}) {
        const PaneLayout p = LayoutPanes({0, false, false, false, stored, 90, 240, 294});
        EXPECT_EQ(p.tree.bottom, 294 - kSplitterHeight - kMinPaneHeight) << stored;
        EXPECT_EQ(p.list.top, 294 - kMinPaneHeight) << stored;
        EXPECT_EQ(p.list.bottom, 294) << stored;
    }
    EXPECT_EQ(LayoutPanes({0, false, false, false, 246, 90, 240, 294}).tree.bottom, 246);
}

TEST(Panes, StripHeightFollowsTheLabel) {
    EXPECT_EQ(StripHeight(60, 96, true, 16), 60 + 24 + 16);
    EXPECT_EQ(StripHeight(60, 96, false, 16), 60 + 16 + 16);
    EXPECT_EQ(StripHeight(60, 192, true, 16), 60 + 48 + 16);
}

TEST(Splitter, DragStopsAtFortyPixels) {
    EXPECT_EQ(SplitterDragHeight(100, 110, 0, 268), 40) << "to the very top";
    EXPECT_EQ(SplitterDragHeight(100, 110, 400, 268), 268 - 48) << "to the very bottom";
    EXPECT_EQ(SplitterDragHeight(100, 110, 130, 268), 120);
}

TEST(Splitter, TapsOnTheButtons) {
    struct Case {
        int x;
        bool treeHidden, listHidden;
        SplitterAction action;
    } cases[] = {
        {5, false, false, SplitterAction::kHideList},   {34, false, false, SplitterAction::kHideList},
        {35, false, false, SplitterAction::kNone},      {36, false, false, SplitterAction::kHideTree},
        {65, false, false, SplitterAction::kHideTree},  {66, false, false, SplitterAction::kNone},
        {4, false, false, SplitterAction::kNone},       {10, true, false, SplitterAction::kShowTree},
        {40, true, false, SplitterAction::kNone},       {10, false, true, SplitterAction::kShowList},
        {40, false, true, SplitterAction::kNone},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitterTap(c.x, c.treeHidden, c.listHidden), c.action) << c.x;
    EXPECT_FALSE(SplitterStartsDrag(66));
    EXPECT_TRUE(SplitterStartsDrag(67));
}

TEST(LoadBox, ReducedOnlyWhenLargerThanTwiceTheScreen) {
    int32_t w = 0, h = 0;
    LoadBoxFor(3000, 2000, 240, 320, -1, true, &w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    LoadBoxFor(3000, 2000, 240, 320, 50, true, &w, &h);
    EXPECT_EQ(w, 1500);
    EXPECT_EQ(h, 1000);
    LoadBoxFor(3000, 2000, 240, 320, 100, true, &w, &h);
    EXPECT_EQ(w, -1);
    LoadBoxFor(400, 600, 240, 320, -1, false, &w, &h);
    EXPECT_EQ(w, -1) << "not wider than twice the screen";
    LoadBoxFor(3000, 600, 240, 320, -1, false, &w, &h);
    EXPECT_EQ(w, -1) << "one side small enough";
    LoadBoxFor(2000, 3000, 240, 320, -1, false, &w, &h);
    EXPECT_EQ(w, 240);
    EXPECT_EQ(h, 320);
    EXPECT_EQ(ReducedZoomPercent(100, 3000, 320), 937);
    EXPECT_EQ(ReducedZoomPercent(100, 3000, 0), 0);
    // What a reduced bitmap can be magnified to: within the view's range.
    const struct {
        int32_t zoom, pictureWidth, loadedWidth;
        bool served;
    } zooms[] = {{100, 3000, 320, true}, {150, 4000, 500, true},  {200, 4000, 500, true},
                 {400, 4000, 500, false}, {150, 4000, 320, false}, {100, 6000, 320, false},
                 {-1, 4000, 320, false},  {50, 4000, 0, false}};
    for (const auto& z : zooms)
        EXPECT_EQ(ReducedBitmapServesZoom(z.zoom, z.pictureWidth, z.loadedWidth), z.served)
            << z.zoom << " % of " << z.pictureWidth << " from " << z.loadedWidth;
}

TEST(AutoRotate, QuarterTurnsForTheScreen) {
    AutoRotateInput in = {false, true, true, false, 240, 320, 640, 480};
    AutoRotateResult r = AutoRotateFor(in);
    EXPECT_EQ(r.angle, -90);
    EXPECT_TRUE(r.rotated);
    in.rotateLeft = false;
    EXPECT_EQ(AutoRotateFor(in).angle, 90);
    in.pictureWidth = 300;  // higher than wide on a portrait screen
    EXPECT_EQ(AutoRotateFor(in).angle, 0);
    in.rotateAuto = false;
    in.rotated = true;  // automatic rotation switched off: turn back
    r = AutoRotateFor(in);
    EXPECT_EQ(r.angle, -90);
    EXPECT_FALSE(r.rotated);
    in = {true, false, true, false, 240, 320, 300, 480};
    r = AutoRotateFor(in);
    EXPECT_EQ(r.angle, 90) << "landscape slideshow turns by the negated angle";
    in = {false, true, true, false, 320, 240, 300, 480};
    EXPECT_EQ(AutoRotateFor(in).angle, 90) << "landscape screen, portrait picture";
}

TEST(Slideshow, StepsSkipAlbumsAndFollowTheSelection) {
    const std::vector<uint8_t> kinds = {kSlidePicture, kSlideAlbum, kSlidePicture, kSlidePicture};
    EXPECT_EQ(NextSlide(kinds, {}, 0, 1, false).index, 2);
    EXPECT_EQ(NextSlide(kinds, {}, 3, 1, false).index, -1);
    EXPECT_EQ(NextSlide(kinds, {}, 3, 1, true).index, 0);
    EXPECT_EQ(NextSlide(kinds, {}, 0, -1, true).index, 3);
    EXPECT_EQ(NextSlide(kinds, {}, 2, -1, false).index, 0);
    EXPECT_EQ(NextSlide(kinds, {0, 3}, 0, 1, true).index, 3);
    EXPECT_EQ(NextSlide(kinds, {0, 3}, 3, 1, true).index, 0) << "two selected alternate when looping";
    EXPECT_EQ(NextSlide(kinds, {0, 3}, 3, 1, false).index, -1) << "and stop after the second otherwise";
    EXPECT_EQ(NextSlide({kSlideAlbum}, {}, 0, 1, true).index, -1);
    EXPECT_EQ(FirstSlide(kinds, 1), 2);
    EXPECT_EQ(FirstSlide({kSlideAlbum, kSlideAlbum}, 0), -1) << "a folder of albums starts no show";
}

TEST(ListTexts, SizesDatesAndProperties) {
    struct Case {
        uint64_t size;
        const wchar_t* number;
        SizeUnit unit;
    } sizes[] = {{1023, L"1023", kUnitBytes},
                 {1024, L"1.00", kUnitKb},
                 {1572864, L"1.50", kUnitMb},
                 {3221225472ull, L"3.00", kUnitGb}};
    for (const Case& c : sizes) {
        std::wstring number;
        EXPECT_EQ(FormatSizeNumber(c.size, &number), c.unit);
        EXPECT_EQ(number, c.number);
    }
    EXPECT_EQ(FormatDateText(L"1", L"/", L":", 2024, 3, 7, 0, 0, 0), L"07/03/2024") << "midnight: no time";
    EXPECT_EQ(FormatDateText(L"0", L"/", L":", 2024, 3, 7, 14, 5, 9), L"03/07/2024 14:05");
    EXPECT_EQ(FormatDateText(L"2", L"-", L".", 2024, 3, 7, 0, 0, 1), L"2024-03-07 00.00");
    EXPECT_EQ(FormatPropertiesText(10, 20, 1), L"10x20,2");
    EXPECT_EQ(FormatPropertiesText(10, 20, 8), L"10x20,256");
    EXPECT_EQ(FormatPropertiesText(10, 20, 24), L"10x20,16M");
}

TEST(ListTexts, LabelsAndCells) {
#ifdef _WIN32
    const wchar_t* path = L"\\My Documents\\a.b.jpg";
#else
    const wchar_t* path = L"/My Documents/a.b.jpg";
#endif
    EXPECT_EQ(ItemLabel(path, true), L"a.b.jpg");
    EXPECT_EQ(ItemLabel(path, false), L"a.b");
    const ListCellGeometry g = ListCellGeometryFor(70, 70, 96, 96, 13, true);
    EXPECT_EQ(g.cellWidth, 70 - 3);
    EXPECT_EQ(g.cellHeight, 70 - 4);
    EXPECT_EQ(g.rowListHeight, 74) << "the box plus 4";
    EXPECT_EQ(ListCellGeometryFor(50, 50, 96, 96, 13, true).rowListHeight, 64) << "60 pixels at least, plus 4";
    EXPECT_EQ(ListCellGeometryFor(70, 70, 96, 96, 13, false).cellHeight, 70 - 4 - 13) << "no label: no text line";
}
