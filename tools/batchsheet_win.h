// The batch tool sheet: a full-screen property sheet with the tool's page,
// the output format page and the output folder page, stepping through the
// browser's selection; Apply runs the tool on the shown file, Apply all on
// every selected file, each result written through the output pages'
// choices. Settings of the output pages and of the tool are stored when the
// sheet closes, by OK and by Cancel alike.
//
// Entry points for the main window's commands, each taking the browser's
// selection (at least one file): RunBatchConvertTool, RunBatchRotateTool,
// RunBatchResizeTool, RunBatchAdjustTool, RunBatchFilterTool, RunBatchCropTool
// (Apply only: each crop is drawn on its own picture).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "tools/batch.h"
#include "tools/output.h"

struct SelectedFile;

enum class BatchToolKind : int { kConvert, kRotate, kResize, kAdjust, kFilter, kCrop };

struct BatchPageWindows {
    HWND tool;
    HWND format;  // made with the sheet
    HWND folder;  // made when first shown; null until then
    HWND unused;
};

struct BatchButtonTexts {
    int32_t applyShown;
    int32_t applyAllShown;
    wchar_t apply[64];
    wchar_t applyAll[64];
};

// Page parameter of the output format and folder pages.
struct OutputPageLink {
    BatchPageWindows* windows;
    int32_t kind;
    const SelectedFile* files;  // the selection when it holds one file, else null (folder page: always)
    BatchButtonTexts* texts;
};

struct BatchToolState {
    const SelectedFile* files;
    uint32_t count;
    uint32_t current;
    const RewriteListener* rewrites;  // hears of each file written over; may be null
    BatchToolKind kind;
    BatchPageWindows windows;
    HWND menuBar;  // the sheet's: Previous and Next
    BatchButtonTexts texts;
    OutputPageLink formatLink;
    OutputPageLink folderLink;
    // The tools' own values.
    int rotateChoice;
    bool lossless;
    ResizeRequest resize;
    AdjustValues adjust;
    int adjustSetting;
    int32_t updating;  // set while the page writes the value or size edits itself
    // The previewed picture's full size, upright; 0 when it does not load.
    int32_t pictureWidth;
    int32_t pictureHeight;
    FilterValues filter;
    // The preview of the current file: its screen bitmap as loaded and, for
    // adjust and filter, with the tool's values applied (null when the file
    // does not load); adjust and filter keep the loaded picture to remake the
    // second one as the values change.
    HBITMAP previewBefore;
    HBITMAP previewAfter;
    Bitmap previewPicture;
    // Crop: the preview's scale (percent), the image view and its picture.
    int32_t cropScale;
    HWND cropView;
    Bitmap cropPreview;
    // Outcome of the last apply (for the caller's refresh and for tests).
    ApplyCounts lastApply;
};

// `rewrites` (may be null) hears of each existing file a tool wrote over.
int RunBatchConvertTool(HWND parent, const SelectedFile* files, uint32_t count,
                        const RewriteListener* rewrites = nullptr);
int RunBatchRotateTool(HWND parent, const SelectedFile* files, uint32_t count,
                       const RewriteListener* rewrites = nullptr);
int RunBatchResizeTool(HWND parent, const SelectedFile* files, uint32_t count,
                       const RewriteListener* rewrites = nullptr);
int RunBatchAdjustTool(HWND parent, const SelectedFile* files, uint32_t count,
                       const RewriteListener* rewrites = nullptr);
int RunBatchFilterTool(HWND parent, const SelectedFile* files, uint32_t count,
                       const RewriteListener* rewrites = nullptr);
int RunBatchCropTool(HWND parent, const SelectedFile* files, uint32_t count,
                     const RewriteListener* rewrites = nullptr);

// The output choices from the format page when it has a window, else from
// the settings; the folder choices likewise from the folder page.
OutputOptions ReadOutputOptions(HWND formatPage);
void StoreOutputOptions(HWND formatPage);
OutputFolder ReadOutputFolder(HWND folderPage);
void StoreOutputFolder(HWND folderPage);
// Draws an owner-drawn preview item: the item's face, and `shown` (may be
// null) centred on it.
void DrawPreviewItem(const DRAWITEMSTRUCT* draw, HBITMAP shown);
// Selects, in the folder page's tree, the folder `path` lies in (the part up
// to its last '\'); nothing without a page.
void OutputPageSetFolder(HWND folderPage, const wchar_t* path);

// One page of a tool sheet: dialog, procedure, page parameter, title
// (string id and key) and whether it is made with the sheet.
struct ToolSheetPage {
    UINT dialog;
    DLGPROC procedure;
    LPARAM parameter;
    UINT titleId;
    const char* titleKey;
    bool premature;
    const wchar_t* fixedTitle = nullptr;  // used as it stands, untranslated, when given
};
// Runs a full-screen tool sheet of up to six pages with the tabs at the
// bottom (the callback answers the version query); -1 for a bad page count.
INT_PTR RunToolSheet(HWND parent, const ToolSheetPage* pages, int count, PFNPROPSHEETCALLBACK callback);

// Sets up a tool sheet that steps through files when it is initialised: the
// handheld dialog set-up, `procedure` subclassing the sheet (it receives the
// menu bar's IDC_STEP_PREVIOUS and IDC_STEP_NEXT and the closing IDOK and
// IDCANCEL) and the Previous and Next menu bar, which is returned (null when
// it cannot be made).
HWND PrepareStepSheet(HWND sheet, SUBCLASSPROC procedure, UINT_PTR id, DWORD_PTR data);
// Previous and Next on as far as `count` files go from `current`.
void SetStepMenuBar(HWND bar, uint32_t count, uint32_t current);

// The output format page's procedure (dialog 120); its page parameter is an
// OutputPageLink. Apply and Apply all are forwarded to the link's tool page.
INT_PTR CALLBACK OutputFormatPage(HWND page, UINT message, WPARAM first, LPARAM second);

// The state of the sheet being shown (null when none), for tests.
BatchToolState* CurrentBatchTool();
