#include "shell/viewerlogic.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "display/viewlayout.h"
#include "shell/filelist.h"

std::wstring CommandLinePath(const std::wstring& commandLine) {
    size_t first = commandLine.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return std::wstring();
    if (commandLine[first] == L'"') {
        const size_t close = commandLine.find(L'"', first + 1);
        return commandLine.substr(first + 1, close == std::wstring::npos ? std::wstring::npos : close - first - 1);
    }
    const size_t last = commandLine.find_last_not_of(L" \t");
    return commandLine.substr(first, last - first + 1);
}

bool CopyDataText(const void* data, size_t bytes, std::u16string* text) {
    if (!data || bytes < 2 || bytes % 2 != 0) return false;
    const size_t units = bytes / 2;
    std::u16string copy(units, u'\0');
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < units; ++i) copy[i] = char16_t(p[2 * i] | p[2 * i + 1] << 8);
    if (copy.back() != u'\0' || copy.find(u'\0') != units - 1) return false;
    copy.pop_back();
    *text = std::move(copy);
    return true;
}

PaneLayout LayoutPanes(const PaneInput& in) {
    PaneLayout out = {};
    out.splitterTop = -1;
    const int32_t w = in.clientWidth, h = in.clientHeight;
    if (in.mode >= 4 || in.slideshowRunning) {
        out.view = {0, 0, w, h, true};
        return out;
    }
    if (in.mode == 3) {
        const int32_t strip = std::min(in.stripHeight, h);
        out.list = {0, 0, w, strip, true};
        out.view = {0, strip, w, h, true};
        return out;
    }
    if (in.treeHidden) {
        out.list = {0, kSplitterHeight, w, h, true};
        out.splitterTop = 0;
    } else if (in.listHidden) {
        out.tree = {0, 0, w, std::max(0, h - kSplitterHeight), true};
        out.splitterTop = out.tree.bottom;
    } else {
        const int32_t tree = TreePaneHeight(in.treeViewHeight, h);
        out.tree = {0, 0, w, tree, true};
        out.list = {0, tree + kSplitterHeight, w, h, true};
        out.splitterTop = tree;
    }
    return out;
}

int32_t TreePaneHeight(int32_t treeViewHeight, int32_t clientHeight) {
    return std::clamp(treeViewHeight, 0, std::max(0, clientHeight - kSplitterHeight - kMinPaneHeight));
}

int32_t StripHeight(int32_t cellHeight, int32_t dpiY, bool showLabel, int32_t scrollBarHeight) {
    const int32_t label = showLabel ? (dpiY + 2) * 24 / 96 : (dpiY + 3) * 16 / 96;
    return cellHeight + label + scrollBarHeight;
}

int32_t SplitterDragHeight(int32_t startHeight, int32_t startY, int32_t y, int32_t clientHeight) {
    int32_t height = std::max(kMinPaneHeight, startHeight - startY + y);
    if (clientHeight - height - kSplitterHeight < kMinPaneHeight)
        height = clientHeight - kSplitterHeight - kMinPaneHeight;
    return height;
}

SplitterAction SplitterTap(int32_t x, bool treeHidden, bool listHidden) {
    const bool left = x >= 5 && x < 35, right = x >= 36 && x < 66;
    if (treeHidden) return left ? SplitterAction::kShowTree : SplitterAction::kNone;
    if (listHidden) return left ? SplitterAction::kShowList : SplitterAction::kNone;
    if (right) return SplitterAction::kHideTree;
    if (left) return SplitterAction::kHideList;
    return SplitterAction::kNone;
}

void LoadBoxFor(int32_t pictureWidth, int32_t pictureHeight, int32_t screenWidth, int32_t screenHeight,
                int32_t zoomPercent, bool turned, int32_t* boxWidth, int32_t* boxHeight) {
    *boxWidth = *boxHeight = -1;
    if (int64_t(pictureWidth) <= 2 * int64_t(screenWidth) || int64_t(pictureHeight) <= 2 * int64_t(screenHeight))
        return;
    if (zoomPercent >= 100) return;
    if (zoomPercent == -1 || zoomPercent <= 0) {
        *boxWidth = turned ? screenHeight : screenWidth;
        *boxHeight = turned ? screenWidth : screenHeight;
        return;
    }
    *boxWidth = int32_t(int64_t(pictureWidth) * zoomPercent / 100);
    *boxHeight = int32_t(int64_t(pictureHeight) * zoomPercent / 100);
}

int32_t ReducedZoomPercent(int32_t zoomPercent, int32_t pictureWidth, int32_t loadedWidth) {
    if (zoomPercent <= 0 || loadedWidth <= 0) return 0;
    const int64_t percent = int64_t(zoomPercent) * pictureWidth / loadedWidth;
    return int32_t(std::min<int64_t>(percent, INT32_MAX));
}

bool ReducedBitmapServesZoom(int32_t zoomPercent, int32_t pictureWidth, int32_t loadedWidth) {
    const int32_t percent = ReducedZoomPercent(zoomPercent, pictureWidth, loadedWidth);
    return percent >= kZoomPercentMin && percent <= kZoomPercentMax;
}

AutoRotateResult AutoRotateFor(const AutoRotateInput& in) {
    const int32_t angle = in.rotateLeft ? -90 : 90;
    if (in.slideshowLandscape) return {-angle, true};
    if (!((in.rotateAuto && !in.rotated) || (!in.rotateAuto && in.rotated))) return {0, in.rotated};
    const bool portrait = in.screenWidth < in.screenHeight, landscape = in.screenWidth > in.screenHeight;
    const bool wide = in.pictureWidth > in.pictureHeight, high = in.pictureHeight > in.pictureWidth;
    int32_t turn = 0;
    if (portrait && wide && !in.rotated)
        turn = angle;
    else if (landscape && high)
        turn = in.rotated ? angle : -angle;
    else if (portrait && in.rotated && !wide)
        turn = -angle;
    if (turn == 0) return {0, in.rotated};
    return {turn, in.rotateAuto};
}

namespace {

bool IsPicture(const std::vector<uint8_t>& kinds, long i) {
    return i >= 0 && size_t(i) < kinds.size() && kinds[size_t(i)] == kSlidePicture;
}

}  // namespace

SlideStep NextSlide(const std::vector<uint8_t>& kinds, const std::vector<long>& selected, long current,
                    int direction, bool loop) {
    const long count = long(kinds.size());
    if (count == 0) return {-1};
    if (selected.size() > 1) {
        // Over the selection: the next (or previous) selected picture.
        std::vector<long> pictures;
        for (long s : selected)
            if (IsPicture(kinds, s)) pictures.push_back(s);
        if (pictures.empty()) return {-1};
        if (direction == -1) {
            for (auto it = pictures.rbegin(); it != pictures.rend(); ++it)
                if (*it < current) return {*it};
            return {pictures.front()};
        }
        for (long s : pictures)
            if (s > current) return {s};
        return {loop ? pictures.front() : -1};
    }
    const long step = direction == -1 ? -1 : 1;
    long i = current;
    for (long visited = 0; visited <= count; ++visited) {
        i += step;
        if (i < 0 || i >= count) {
            if (!loop) return {-1};
            i = i < 0 ? count - 1 : 0;
        }
        if (IsPicture(kinds, i)) return {i};
    }
    return {-1};
}

long FirstSlide(const std::vector<uint8_t>& kinds, long current) {
    long start = current >= 0 && size_t(current) < kinds.size() ? current : 0;
    for (long i = start; size_t(i) < kinds.size(); ++i)
        if (kinds[size_t(i)] == kSlidePicture) return i;
    return -1;
}

SizeUnit FormatSizeNumber(uint64_t size, std::wstring* number) {
    wchar_t text[64];
    if (size < 1024) {
        swprintf(text, 64, L"%d", int(size));
        *number = text;
        return kUnitBytes;
    }
    SizeUnit unit = kUnitKb;
    double value = double(size) / 1024.0;
    if (size >= 1073741824ull) {
        unit = kUnitGb;
        value = double(size) / 1073741824.0;
    } else if (size >= 1048576ull) {
        unit = kUnitMb;
        value = double(size) / 1048576.0;
    }
    swprintf(text, 64, L"%.2lf", value);
    *number = text;
    return unit;
}

std::wstring FormatDateText(const std::wstring& order, const std::wstring& dateSeparator,
                            const std::wstring& timeSeparator, int year, int month, int day, int hour, int minute,
                            int second) {
    int a = day, b = month, c = year;
    if (order == L"0") {
        a = month;
        b = day;
    } else if (order == L"2") {
        a = year;
        c = day;
    }
    wchar_t text[96];
    const wchar_t* ds = dateSeparator.c_str();
    if (hour == 0 && minute == 0 && second == 0)
        swprintf(text, 96, L"%02d%ls%02d%ls%02d", a, ds, b, ds, c);
    else
        swprintf(text, 96, L"%02d%ls%02d%ls%02d %02d%ls%02d", a, ds, b, ds, c, hour, timeSeparator.c_str(), minute);
    return text;
}

std::wstring FormatPropertiesText(uint32_t width, uint32_t height, uint32_t bitsPerPixel) {
    wchar_t text[64];
    if (bitsPerPixel < 24)
        swprintf(text, 64, L"%ux%u,%u", width, height, 1u << bitsPerPixel);
    else
        swprintf(text, 64, L"%ux%u,16M", width, height);
    return text;
}

std::wstring ItemLabel(const wchar_t* path, bool showExt) {
    std::wstring folder, name;
    SplitPathFolderName(path, &folder, &name);
    if (!showExt) {
        const size_t dot = name.rfind(L'.');
        if (dot != std::wstring::npos) name.erase(dot);
    }
    return name;
}

std::wstring FolderTitle(const std::wstring& folder, const std::wstring& rootName) {
    std::wstring title = folder;
    while (!title.empty() && (title.back() == L'\\' || title.back() == L'/')) title.pop_back();
    return title.empty() ? rootName : title;
}

ListCellGeometry ListCellGeometryFor(int32_t boxWidth, int32_t boxHeight, int32_t dpiX, int32_t dpiY,
                                     int32_t textHeight, bool showLabel) {
    ListCellGeometry g = {};
    g.cellWidth = boxWidth - (dpiX + 16) * 3 / 96;
    g.cellHeight = boxHeight - (dpiX + 12) * 4 / 96 - (showLabel ? 0 : textHeight);
    g.cellListWidth = g.cellWidth - (dpiX + 6) * 8 / 96;
    g.cellListHeight = (dpiY + 16) * 3 / 96 + g.cellHeight;
    g.spacingX = (dpiX + 6) * 8 / 96 + g.cellWidth;
    g.spacingY = (dpiY + 4) * 12 / 96 + g.cellHeight + textHeight;
    g.rowListWidth = boxWidth - 8;
    g.rowListHeight = std::max(boxHeight, (dpiY * 60 + 48) / 96) + 4;
    return g;
}
