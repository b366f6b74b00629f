#include "tools/tooldialogs_win.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <string>

#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "resources/tools.rh"
#include "shell/filelist.h"
#include "shell/language_win.h"
#include "shell/settings_win.h"

namespace {

constexpr const wchar_t* kConvertSection = L"Convert";
constexpr const wchar_t* kFolderSection = L"Folder";
constexpr const wchar_t* kRenameSection = L"Rename";
// The JPEG quality dialog's step. Registry value names ignore case, so it
// must not be "JpegQuality", which would be the output page's "JPEGQuality".
constexpr const wchar_t* kJpegStepValue = L"JpegQualityStep";
constexpr int kDefaultJpegStep = 2;
constexpr int kJpegSteps[] = {25, 50, 75, 100};
constexpr uint32_t kRenameStartMax = 20;
constexpr int kMessageCapacity = 512;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

std::wstring Text(UINT id, const char* key) {
    wchar_t buffer[kMessageCapacity] = L"";
    LngGetString(Instance(), id, key, buffer, kMessageCapacity);
    return buffer;
}

struct SaveMessages {
    HWND owner;
    int doneId;
    const char* doneKey;
    const RewriteListener* listener;
};

bool ConfirmOverwrite(void* user, const wchar_t*) { return AskToOverwrite(static_cast<SaveMessages*>(user)->owner); }

void ReportFailure(void* user, const wchar_t*, int) { ShowSaveProblem(static_cast<SaveMessages*>(user)->owner); }

void ReportReplaced(void* user, const wchar_t* folder, const wchar_t* name) {
    const RewriteListener* listener = static_cast<SaveMessages*>(user)->listener;
    if (listener && listener->rewritten) listener->rewritten(listener->user, folder, name);
}

void ReportDone(void* user, const wchar_t* sourceName, const wchar_t* outputName, bool announce) {
    const auto* m = static_cast<SaveMessages*>(user);
    if (!announce || m->doneId == -1) return;
    wchar_t format[kMessageCapacity] = L"";
    LngGetFormat(Instance(), UINT(m->doneId), m->doneKey, format, kMessageCapacity);
    // The translated format may hold anything but the two %s it is meant for:
    // it is filled by hand, never handed to a printf.
    std::wstring message;
    const wchar_t* args[] = {sourceName, outputName};
    size_t used = 0;
    for (const wchar_t* p = format; *p; ++p) {
        if (p[0] == L'%' && p[1] == L's' && used < 2) {
            message += args[used++];
            ++p;
        } else {
            message += *p;
        }
    }
    HandheldMessageBox(m->owner, message.c_str(), L"", MB_OK | MB_ICONINFORMATION);
}

// --- JPEG quality ---------------------------------------------------------

INT_PTR CALLBACK JpegQualityProc(HWND dialog, UINT message, WPARAM first, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        HandheldDialogSetup(dialog, kSetupInputPanelDown);
        CentreWindow(GetParent(dialog), dialog, TRUE);
        LngSelectSection("DlgJpegQuality");
        LngSetItemText(dialog, IDOK, "IDOK");
        LngSetItemText(dialog, IDCANCEL, "IDCANCEL");
        LngSetItemText(dialog, IDC_TQUALITY, "IDC_TQUALITY");
        DlgComboAddString(dialog, IDC_JQ_LIST, IDS_JPEG25, "IDS_JPEG25");
        DlgComboAddString(dialog, IDC_JQ_LIST, IDS_JPEG50, "IDS_JPEG50");
        DlgComboAddString(dialog, IDC_JQ_LIST, IDS_JPEG75, "IDS_JPEG75");
        DlgComboAddString(dialog, IDC_JQ_LIST, IDS_JPEG100, "IDS_JPEG100");
        DWORD step = RegReadSettingDefault(kConvertSection, kJpegStepValue, kDefaultJpegStep);
        if (step > 3) step = kDefaultJpegStep;
        SendDlgItemMessageW(dialog, IDC_JQ_LIST, CB_SETCURSEL, step, 0);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(first) == IDOK) {
            const LRESULT index = SendDlgItemMessageW(dialog, IDC_JQ_LIST, CB_GETCURSEL, 0, 0);
            EndDialog(dialog, index < 0 ? kDefaultJpegStep : index);
            return TRUE;
        }
        if (LOWORD(first) == IDCANCEL) {
            EndDialog(dialog, -1);
            return TRUE;
        }
        break;
    default: break;
    }
    return FALSE;
}

// --- Batch rename ---------------------------------------------------------

class BatchRenameDialog : public DialogObject {
public:
    BatchRenameDialog(HWND parentWindow, const wchar_t* firstName, RenamePlan* plan)
        : firstName_(firstName), plan_(plan) {
        DialogInitBase(this, parentWindow, Instance(), IDD_BATCH_RENAME, kMap);
    }

private:
    INT_PTR OnInit() {
        LngSelectSection("DlgBatchRename");
        LngSetItemText(window, IDC_BREN_TNEWNAME, "IDC_REN_TNEWNAME");
        LngSetItemText(window, IDC_BREN_TEXT, "IDC_REN_TEXT");
        LngSetItemText(window, IDC_BREN_TSTART, "IDC_REN_TSTART");
        LngSetItemText(window, IDC_BREN_TDIGIT, "IDC_REN_TDIGIT");
        LngSetItemText(window, IDC_APPLY, "IDC_APPLY");

        wchar_t base[kRenameTextCapacity];
        wchar_t extension[kRenameTextCapacity];
        SplitRenameName(firstName_, base, extension, kRenameTextCapacity);
        wchar_t stored[kRenameTextCapacity];
        RegReadText(kRenameSection, L"Name", L"", stored, int(kRenameTextCapacity));
        SetDlgItemTextW(window, IDC_BREN_NAME, stored[0] ? stored : base);
        SetDlgItemTextW(window, IDC_BREN_EXTENSION, extension);
        SetFocus(GetDlgItem(window, IDC_BREN_NAME));
        SendDlgItemMessageW(window, IDC_BREN_NAME, EM_SETSEL, 0, -1);

        const DWORD start = RegReadSettingDefault(kRenameSection, L"Start", 1);
        const DWORD digits = RegReadSettingDefault(kRenameSection, L"Digit", 2);
        SendDlgItemMessageW(window, IDC_BREN_STARTSPIN, UDM_SETRANGE32, 0, kRenameStartMax);
        SendDlgItemMessageW(window, IDC_BREN_STARTSPIN, UDM_SETPOS32, 0, LPARAM(std::min<DWORD>(start, kRenameStartMax)));
        SendDlgItemMessageW(window, IDC_BREN_DIGITSPIN, UDM_SETRANGE32, kRenameMinDigits, kRenameMaxDigits);
        SendDlgItemMessageW(window, IDC_BREN_DIGITSPIN, UDM_SETPOS32, 0,
                            LPARAM(std::clamp<DWORD>(digits, kRenameMinDigits, kRenameMaxDigits)));
        return FALSE;  // the focus was set here
    }

    void OnRename(int) {
        RenamePlan plan{};
        GetDlgItemTextW(window, IDC_BREN_NAME, plan.base, int(kRenameTextCapacity));
        GetDlgItemTextW(window, IDC_BREN_EXTENSION, plan.extension, int(kRenameTextCapacity));
        // A name or extension that would leave the folder (or no name at
        // all): ask again.
        const int refused = !RenameBaseIsValid(plan.base)            ? IDC_BREN_NAME
                            : !RenameExtensionIsValid(plan.extension) ? IDC_BREN_EXTENSION
                                                                      : 0;
        if (refused) {
            MessageBeep(MB_ICONSTOP);
            SetFocus(GetDlgItem(window, refused));
            return;
        }
        plan.start = GetDlgItemInt(window, IDC_BREN_START, nullptr, FALSE);
        plan.digits = std::clamp(GetDlgItemInt(window, IDC_BREN_DIGITS, nullptr, FALSE), kRenameMinDigits,
                                 kRenameMaxDigits);
        RegWriteText(kRenameSection, L"Name", plan.base);
        RegWriteDword(kRenameSection, L"Start", plan.start);
        RegWriteDword(kRenameSection, L"Digit", plan.digits);
        *plan_ = plan;
        EndDialog(window, 1);
    }

    void OnClose(int) { EndDialog(window, 0); }

    const wchar_t* firstName_;
    RenamePlan* plan_;
    static const DialogMapRow kMap[];
};

const DialogMapRow BatchRenameDialog::kMap[] = {
    dialogmap::InitDialog(&BatchRenameDialog::OnInit),
    dialogmap::Command(IDC_APPLY, &BatchRenameDialog::OnRename),
    dialogmap::Command(IDOK, IDCANCEL, &BatchRenameDialog::OnClose),
    dialogmap::End(),
};

int MoveWithoutReplacing(const wchar_t* from, const wchar_t* to) { return MoveFileW(from, to) ? 0 : -1; }

}  // namespace

OutputChoices ReadStoredOutputChoices() {
    const OutputChoices defaults;
    OutputChoices c;
    c.format = int32_t(RegReadSettingDefault(kConvertSection, L"Format", DWORD(defaults.format)));
    c.jpegQuality = int32_t(RegReadSettingDefault(kConvertSection, L"JPEGQuality", DWORD(defaults.jpegQuality)));
    c.pngCompression =
        int32_t(RegReadSettingDefault(kConvertSection, L"PngCompression", DWORD(defaults.pngCompression)));
    c.gifMode = int32_t(RegReadSettingDefault(kConvertSection, L"GifMode", DWORD(defaults.gifMode)));
    c.bmpMode = int32_t(RegReadSettingDefault(kConvertSection, L"BmpMode", DWORD(defaults.bmpMode)));
    c.pngMode = int32_t(RegReadSettingDefault(kConvertSection, L"PngMode", DWORD(defaults.pngMode)));
    return c;
}

void StoreOutputChoices(const OutputChoices& c) {
    RegWriteDword(kConvertSection, L"Format", DWORD(c.format));
    RegWriteDword(kConvertSection, L"JPEGQuality", DWORD(c.jpegQuality));
    RegWriteDword(kConvertSection, L"PngCompression", DWORD(c.pngCompression));
    RegWriteDword(kConvertSection, L"GifMode", DWORD(c.gifMode));
    RegWriteDword(kConvertSection, L"BmpMode", DWORD(c.bmpMode));
    RegWriteDword(kConvertSection, L"PngMode", DWORD(c.pngMode));
}

OutputFolder ReadStoredOutputFolder() {
    OutputFolder folder{};
    RegReadText(kFolderSection, L"Prefix", L"", folder.prefix, int(kOutputAffixCapacity));
    RegReadText(kFolderSection, L"Suffix", L"_m", folder.suffix, int(kOutputAffixCapacity));
    return folder;
}

void StoreOutputAffixes(const OutputFolder& folder) {
    RegWriteText(kFolderSection, L"Prefix", folder.prefix);
    RegWriteText(kFolderSection, L"Suffix", folder.suffix);
}

int SaveInChosenFormat(HWND owner, const OutputOptions& options, const OutputFolder& folder, int doneId,
                       const char* doneKey, const wchar_t* source, Bitmap* bitmap) {
    SaveInChosenFormatOutcome(owner, options, folder, doneId, doneKey, source, bitmap);
    return 1;
}

SaveOutcome SaveInChosenFormatOutcome(HWND owner, const OutputOptions& options, const OutputFolder& folder,
                                      int doneId, const char* doneKey, const wchar_t* source, Bitmap* bitmap,
                                      const RewriteListener* listener) {
    SaveMessages messages{owner, doneId, doneKey, listener};
    SaveHooks hooks;
    hooks.user = &messages;
    hooks.confirmOverwrite = ConfirmOverwrite;
    hooks.failed = ReportFailure;
    hooks.saved = ReportDone;
    hooks.replaced = ReportReplaced;
    return SaveWithOutputOptions(options, folder, source, bitmap, doneId != -1, hooks);
}

bool AskToOverwrite(HWND owner) {
    return HandheldMessageBox(owner, Text(IDS_EXISTS, "IDS_EXISTS").c_str(), L"", MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

void ShowSaveProblem(HWND owner) {
    HandheldMessageBox(owner, Text(IDS_PROBLEM_SAVING, "IDS_PROBLEM_SAVING").c_str(), L"", MB_OK | MB_ICONSTOP);
}

int JpegQualityOfStep(int index) {
    return index >= 0 && index < int(std::size(kJpegSteps)) ? kJpegSteps[index] : kJpegSteps[kDefaultJpegStep];
}

int AskJpegQuality(HWND parent, int* index) {
    const INT_PTR result = DialogBoxParamW(Instance(), MAKEINTRESOURCEW(IDD_JPEG_QUALITY), parent, JpegQualityProc, 0);
    *index = result >= 0 && result <= 3 ? int(result) : -1;
    return *index >= 0 ? 1 : 0;
}

void FillLevelList(HWND dialog, int comboId, int first, int last, const LevelName* names, size_t count) {
    for (int level = first; level <= last; ++level) {
        const LevelName* name = std::find_if(names, names + count, [level](const LevelName& n) { return n.level == level; });
        if (name != names + count) {
            DlgComboAddString(dialog, comboId, name->stringId, name->key);
        } else {
            const std::wstring digits = std::to_wstring(level);
            SendDlgItemMessageW(dialog, comboId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(digits.c_str()));
        }
    }
}

void CentreWindow(HWND reference, HWND window, BOOL repaint) {
    RECT area{};
    GetWindowRect(reference ? reference : GetDesktopWindow(), &area);
    RECT own{};
    GetWindowRect(window, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    const int x = std::max(0L, area.left + (area.right - area.left - width) / 2);
    const int y = std::max(0L, area.top + (area.bottom - area.top - height) / 2);
    MoveWindow(window, x, y, width, height, repaint);
}

int RunBatchRename(HWND parent, const wchar_t* firstName, RenamePlan* plan) {
    BatchRenameDialog dialog(parent, firstName, plan);
    return DialogRunModalResource(&dialog) == 1 ? 1 : 0;
}

uint32_t RunBatchRenameCommand(HWND parent, const SelectedFile* files, uint32_t count,
                               void (*renamed)(void* user, uint32_t index, const wchar_t* newPath), void* user) {
    if (count == 0) return 0;
    RenamePlan plan{};
    if (!RunBatchRename(parent, files[0].path + FileNameOffset(files[0].path), &plan)) return 0;
    return RenameSelection(files, count, plan, MoveWithoutReplacing, renamed, user);
}
