// The viewer's decisions that need no window: the command line a second copy
// hands over, the panes' rectangles and the splitter, the box a picture is
// loaded into, the turn that suits the screen, the browser slideshow's next
// entry and the texts of the file list's columns.
//
// Portable: no platform headers. The Win32 windows (mainwindow_win.cpp,
// browserctl_win.cpp, listview_win.cpp) call these with their state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Command line and the copy-data message

// The path a command line names: surrounding blanks dropped and, when the
// text starts with a double quote, what lies between it and the next one
// (the file association passes "%1" quoted). Empty for an empty line.
std::wstring CommandLinePath(const std::wstring& commandLine);

// The text of a copy-data message's data: `bytes` must be a whole number of
// UTF-16 units, the last one the terminating zero, and nothing but that one
// may be zero. False (and `text` untouched) otherwise.
bool CopyDataText(const void* data, size_t bytes, std::u16string* text);

// ---------------------------------------------------------------------------
// Panes of the main window

constexpr int32_t kSplitterHeight = 8;
constexpr int32_t kMinPaneHeight = 40;

struct PaneRect {
    int32_t left, top, right, bottom;
    bool visible;
};

struct PaneLayout {
    PaneRect tree, list, view;
    int32_t splitterTop;  // the splitter bar's top edge; -1 in layouts without one
};

struct PaneInput {
    int32_t mode;            // 0 thumbnails, 1 list, 2 details, 3 strip, 4 image, 5 full screen
    bool slideshowRunning;
    bool treeHidden;
    bool listHidden;
    int32_t treeViewHeight;
    int32_t stripHeight;     // the list's height in the strip layout
    int32_t clientWidth;
    int32_t clientHeight;
};

PaneLayout LayoutPanes(const PaneInput& in);

// The tree's shown height: the stored one (the settings keep up to 4096)
// within the window, leaving the list the least height a drag leaves it.
int32_t TreePaneHeight(int32_t treeViewHeight, int32_t clientHeight);

// The strip's height: cell height + label height + a horizontal scroll bar.
int32_t StripHeight(int32_t cellHeight, int32_t dpiY, bool showLabel, int32_t scrollBarHeight);

// The tree's height while the splitter is dragged to `y`.
int32_t SplitterDragHeight(int32_t startHeight, int32_t startY, int32_t y, int32_t clientHeight);

enum class SplitterAction { kNone, kShowTree, kHideTree, kHideList, kShowList };
// What a tap on the splitter bar at `x` does.
SplitterAction SplitterTap(int32_t x, bool treeHidden, bool listHidden);
// A press at `x` starts a drag (right of the buttons).
inline bool SplitterStartsDrag(int32_t x) { return x >= 67; }

// ---------------------------------------------------------------------------
// Opening pictures

// The box a picture is decoded into: -1 x -1 (full size) unless it is
// larger than twice the screen both ways. `turned` exchanges the screen's
// sides (a landscape slideshow, or automatic rotation of a wide picture).
void LoadBoxFor(int32_t pictureWidth, int32_t pictureHeight, int32_t screenWidth, int32_t screenHeight,
                int32_t zoomPercent, bool turned, int32_t* boxWidth, int32_t* boxHeight);

// The zoom (percent) that shows a reduced bitmap as `zoomPercent` of the
// picture: zoomPercent x pictureWidth / loadedWidth; 0 when nothing fits.
int32_t ReducedZoomPercent(int32_t zoomPercent, int32_t pictureWidth, int32_t loadedWidth);

// Whether the view can show a bitmap reduced from `pictureWidth` to
// `loadedWidth` pixels as `zoomPercent` of the picture: the magnification
// that asks lies within what the view accepts. When it does not, the picture
// is decoded again at the size the zoom needs.
bool ReducedBitmapServesZoom(int32_t zoomPercent, int32_t pictureWidth, int32_t loadedWidth);

// The quarter turn that suits the screen, in degrees (-90, 90 or 0), and
// whether the picture then counts as rotated.
struct AutoRotateInput {
    bool slideshowLandscape;  // slideshow running with SlideLandscape
    bool rotateAuto;
    bool rotateLeft;
    bool rotated;             // the picture is turned already
    int32_t screenWidth, screenHeight;
    int32_t pictureWidth, pictureHeight;
};
struct AutoRotateResult {
    int32_t angle;  // 0: no turn
    bool rotated;   // the new rotated flag (unchanged when angle is 0)
};
AutoRotateResult AutoRotateFor(const AutoRotateInput& in);

// ---------------------------------------------------------------------------
// The browser's slideshow

enum SlideEntryKind : uint8_t { kSlidePicture = 0, kSlideAlbum = 1 };

struct SlideStep {
    long index;  // the entry to show, or -1 to stop the show
};

// The entry after (`direction` 1) or before (-1) `current` in a show over
// `kinds` (albums skipped); over the selected entries only when more than one
// is selected (`selected` ascending).
SlideStep NextSlide(const std::vector<uint8_t>& kinds, const std::vector<long>& selected, long current,
                    int direction, bool loop);
// The first picture from `current` (when valid) onward; -1 when none.
long FirstSlide(const std::vector<uint8_t>& kinds, long current);

// ---------------------------------------------------------------------------
// Texts of the file list

enum SizeUnit : int { kUnitBytes = 0, kUnitKb, kUnitMb, kUnitGb };
// The number text of a file size and its unit.
SizeUnit FormatSizeNumber(uint64_t size, std::wstring* number);

// A date (and time when it is not midnight) in the locale's order ("0"
// month-day-year, "2" year-month-day, anything else day-month-year).
std::wstring FormatDateText(const std::wstring& order, const std::wstring& dateSeparator,
                            const std::wstring& timeSeparator, int year, int month, int day, int hour, int minute,
                            int second);

// "%dx%d,%d" with 1 << bitsPerPixel colours below 24 bits, "%dx%d,16M" from 24.
std::wstring FormatPropertiesText(uint32_t width, uint32_t height, uint32_t bitsPerPixel);

// The item's label: the name after the last separator, without its last
// extension when `showExt` is false.
std::wstring ItemLabel(const wchar_t* path, bool showExt);

// The shown folder as the top bar names it: its path without the trailing
// separator, or `rootName` for the root and for no folder.
std::wstring FolderTitle(const std::wstring& folder, const std::wstring& rootName);

// The layout of a thumbnail cell and the details rows for a thumbnail box.
struct ListCellGeometry {
    int32_t cellWidth, cellHeight;
    int32_t cellListWidth, cellListHeight;
    int32_t spacingX, spacingY;
    int32_t rowListWidth, rowListHeight;
};
ListCellGeometry ListCellGeometryFor(int32_t boxWidth, int32_t boxHeight, int32_t dpiX, int32_t dpiY,
                                     int32_t textHeight, bool showLabel);
