// The sharing dialogs and entry points.
#include "tools/sharing_win.h"

#include <commctrl.h>
#include <mapicode.h>

#include <cwchar>
#include <memory>

#include "imagelib/fileio.h"
#include "imagelib/formats.h"
#include "imagelib/osfile.h"
#include "platform/framework_win.h"
#include "platform/handheld.h"
#include "resources/main.rh"
#include "resources/sharing.rh"
#include "shell/language.h"
#include "shell/language_win.h"
#include "shell/settings_win.h"
#include "tools/irda.h"
#include "tools/mail_win.h"

namespace {

constexpr UINT kWorkerDone = WM_USER + 1;   // first parameter: the transfer's result
constexpr UINT kWorkerText = WM_USER + 2;   // first parameter: item id, second: a new[]'d text
constexpr int kMailTextCapacity = 256;
const wchar_t kMailSection[] = L"Email";

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

// ---------------------------------------------------------------------------
// E-mail options

class MailOptionsDialog : public DialogObject {
public:
    wchar_t* recipients = nullptr;
    int32_t* sizeChoice = nullptr;
    int32_t* formatChoice = nullptr;
    wchar_t* service = nullptr;

    INT_PTR OnInitDialog();
    void OnEnd(int id);
    void OnSend(int id);
};

INT_PTR MailOptionsDialog::OnInitDialog() {
    LngSelectSection("DlgEmail");
    LngSetItemText(window, IDC_EMAILOPT_SEND, "IDC_SEND");
    LngSetItemText(window, IDC_EMAILOPT_TTO, "IDC_EM_TTO");
    LngSetItemText(window, IDC_EMAILOPT_TSIZE, "IDC_EM_TSIZE");
    LngSetItemText(window, IDC_EMAILOPT_TFORMAT, "IDC_EM_TFORMAT");
    LngSetItemText(window, IDC_EMAILOPT_TSTORE, "IDC_EM_TSERVICES");

    wchar_t text[260];
    RegReadText(kMailSection, L"to", L"", text, 260);
    SetDlgItemTextW(window, IDC_EMAILOPT_TO, text);
    SendDlgItemMessageW(window, IDC_EMAILOPT_TO, EM_LIMITTEXT, kMailTextCapacity - 1, 0);
    SetFocus(GetDlgItem(window, IDC_EMAILOPT_TO));

    DlgComboAddString(window, IDC_EMAILOPT_SIZE, IDS_ORIGINAL_SIZE, "IDS_ORIGINAL_SIZE");
    for (const wchar_t* percent : {L"75%", L"50%", L"25%", L"10%"})
        SendDlgItemMessageW(window, IDC_EMAILOPT_SIZE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(percent));
    SendDlgItemMessageW(window, IDC_EMAILOPT_SIZE, CB_SETCURSEL,
                        RegReadSettingDefault(kMailSection, L"size", 0) % kMailSizeChoices, 0);

    DlgComboAddString(window, IDC_EMAILOPT_FORMAT, IDS_ORIGINAL_FORMAT, "IDS_ORIGINAL_FORMAT");
    SendDlgItemMessageW(window, IDC_EMAILOPT_FORMAT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"PNG"));
    DlgComboAddString(window, IDC_EMAILOPT_FORMAT, IDS_JPEG_HIGHQUALITY, "IDS_JPEG_HIGHQUALITY");
    DlgComboAddString(window, IDC_EMAILOPT_FORMAT, IDS_JPEG_NORMALQUALITY, "IDS_JPEG_NORMALQUALITY");
    DlgComboAddString(window, IDC_EMAILOPT_FORMAT, IDS_JPEG_LOWQUALITY, "IDS_JPEG_LOWQUALITY");
    SendDlgItemMessageW(window, IDC_EMAILOPT_FORMAT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"GIF"));
    SendDlgItemMessageW(window, IDC_EMAILOPT_FORMAT, CB_SETCURSEL,
                        RegReadSettingDefault(kMailSection, L"format", 0) % kMailFormatChoices, 0);

    RegReadText(kMailSection, L"services", L"", text, 260);
    MailFillServiceList(GetDlgItem(window, IDC_EMAILOPT_STORE), text);
    return FALSE;  // the focus is set
}

void MailOptionsDialog::OnEnd(int) { EndDialog(window, 0); }

void MailOptionsDialog::OnSend(int) {
    GetDlgItemTextW(window, IDC_EMAILOPT_TO, recipients, kMailTextCapacity);
    RegWriteText(kMailSection, L"to", recipients);

    LRESULT size = SendDlgItemMessageW(window, IDC_EMAILOPT_SIZE, CB_GETCURSEL, 0, 0);
    LRESULT format = SendDlgItemMessageW(window, IDC_EMAILOPT_FORMAT, CB_GETCURSEL, 0, 0);
    if (size < 0) size = 0;
    if (format < 0) format = 0;
    RegWriteDword(kMailSection, L"size", DWORD(size));
    *sizeChoice = int32_t(size);
    RegWriteDword(kMailSection, L"format", DWORD(format));
    *formatChoice = int32_t(format);

    service[0] = L'\0';
    HWND stores = GetDlgItem(window, IDC_EMAILOPT_STORE);
    const LRESULT chosen = SendMessageW(stores, CB_GETCURSEL, 0, 0);
    if (chosen >= 0 && SendMessageW(stores, CB_GETLBTEXTLEN, WPARAM(chosen), 0) < kMailTextCapacity)
        SendMessageW(stores, CB_GETLBTEXT, WPARAM(chosen), reinterpret_cast<LPARAM>(service));
    RegWriteText(kMailSection, L"services", service);
    EndDialog(window, 1);
}

const DialogMapRow* MailOptionsMap() {
    static const DialogMapRow rows[] = {
        dialogmap::InitDialog(&MailOptionsDialog::OnInitDialog),
        dialogmap::Command(IDOK, &MailOptionsDialog::OnEnd),
        dialogmap::Command(IDCANCEL, &MailOptionsDialog::OnEnd),
        dialogmap::Command(IDC_EMAILOPT_SEND, &MailOptionsDialog::OnSend, BN_CLICKED),
        dialogmap::End(),
    };
    return rows;
}

// ---------------------------------------------------------------------------
// Infrared dialogs: each runs one worker, which posts its progress and its
// end to the dialog and never sends to it.

IrdaDialogState* StateOf(HWND dialog) {
    return reinterpret_cast<IrdaDialogState*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
}

void PostText(IrdaDialogState* state, int item, const wchar_t* text) {
    const size_t n = wcslen(text);
    auto* copy = new wchar_t[n + 1];
    wmemcpy(copy, text, n + 1);
    if (!PostMessageW(state->window, kWorkerText, WPARAM(item), reinterpret_cast<LPARAM>(copy))) delete[] copy;
}

void PostProgress(IrdaDialogState* state, int percent) {
    PostMessageW(GetDlgItem(state->window, IDC_IRDA_PROGRESS), PBM_SETPOS, WPARAM(percent), 0);
}

int ReceiveCallback(void* context, const wchar_t* text, int value) {
    auto* state = static_cast<IrdaDialogState*>(context);
    if (value)
        PostProgress(state, value);
    else if (text)
        PostText(state, IDC_IRDA_NAME, text);
    return state->cancel.load();
}

int SendCallback(void* context, const wchar_t*, int value) {
    auto* state = static_cast<IrdaDialogState*>(context);
    if (value > 0) {
        PostProgress(state, value);
    } else {
        PostText(state, IDC_IRDA_SEARCH, FormatWithNumber(state->searchFormat, -value).c_str());
    }
    return state->cancel.load();
}

DWORD WINAPI ReceiveWorker(void* parameter) {
    auto* state = static_cast<IrdaDialogState*>(parameter);
    const int result = IrdaReceiveFile(state->folder, &state->names, ReceiveCallback, state, &state->sendError);
    PostMessageW(state->window, kWorkerDone, WPARAM(result), 0);
    return 0;
}

DWORD WINAPI SendWorker(void* parameter) {
    auto* state = static_cast<IrdaDialogState*>(parameter);
    const int result = IrdaSendFile(state->folder, state->file, SendCallback, state);
    PostMessageW(state->window, kWorkerDone, WPARAM(result), 0);
    return 0;
}

LRESULT IrdaStart(HWND dialog, LPARAM parameter, const char* section, LPTHREAD_START_ROUTINE worker) {
    auto* state = reinterpret_cast<IrdaDialogState*>(parameter);
    SetWindowLongPtrW(dialog, GWLP_USERDATA, LONG_PTR(state));
    LngSelectSection(section);
    LngSetItemText(dialog, IDC_IRDA_TEXT, "IDC_IR_TEXT");
    LngSetItemText(dialog, IDCANCEL, "IDCANCEL");
    SendDlgItemMessageW(dialog, IDC_IRDA_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendDlgItemMessageW(dialog, IDC_IRDA_PROGRESS, PBM_SETPOS, 0, 0);
    if (!LngGetFormat(Instance(), IDS_SEARCHDEV, "IDS_SEARCHDEV", state->searchFormat, 128))
        wcscpy(state->searchFormat, L"#%d");
    state->window = dialog;
    state->cancel = 0;
    state->thread = CreateThread(nullptr, 0, worker, state, 0, nullptr);
    if (!state->thread) EndDialog(dialog, 0);
    return TRUE;
}

LRESULT OnReceiveInit(HWND dialog, UINT, WPARAM, LPARAM parameter) {
    return IrdaStart(dialog, parameter, "DlgIrda", ReceiveWorker);
}
LRESULT OnSendInit(HWND dialog, UINT, WPARAM, LPARAM parameter) {
    return IrdaStart(dialog, parameter, "DlgIrda2", SendWorker);
}

// Cancel only raises the flag; the dialog ends when the worker has.
LRESULT OnIrdaCancel(HWND dialog, UINT, UINT, HWND) {
    if (IrdaDialogState* state = StateOf(dialog)) state->cancel = 1;
    return TRUE;
}

LRESULT OnIrdaCommand(HWND dialog, UINT message, WPARAM first, LPARAM second);

LRESULT OnIrdaClose(HWND dialog, UINT, WPARAM, LPARAM) { return OnIrdaCancel(dialog, IDCANCEL, 0, nullptr); }

LRESULT OnWorkerText(HWND dialog, UINT, WPARAM item, LPARAM text) {
    std::unique_ptr<wchar_t[]> owned(reinterpret_cast<wchar_t*>(text));
    SetDlgItemTextW(dialog, int(item), owned.get());
    return TRUE;
}

// The receiver's one message: a response that could not be sent, with the
// system's error code, over its dialog.
void ShowSendFailed(HWND dialog, int error) {
    wchar_t format[128], caption[64];
    if (!LngGetFormat(Instance(), IDS_IRDA_SEND_FAILED, "IDS_IRDA_SEND_FAILED", format, 128))
        wcscpy(format, L"send failed. Error: %d");
    if (!LngGetString(Instance(), IDS_ERROR, "IDS_ERROR", caption, 64)) wcscpy(caption, L"Error");
    HandheldMessageBox(dialog, FormatWithNumber(format, error).c_str(), caption, MB_OK | MB_ICONSTOP);
}

// A transfer's end in the program's words, over its dialog, captioned with
// the dialog's title; `number` (when not negative) fills a text that takes one.
void ShowIrdaMessage(HWND dialog, UINT stringId, const char* key, const wchar_t* builtin, UINT icon, int number = -1) {
    wchar_t text[256], caption[64] = L"";
    const int found = number >= 0 ? LngGetFormat(Instance(), stringId, key, text, 256)
                                  : LngGetString(Instance(), stringId, key, text, 256);
    if (!found) wcscpy(text, builtin);
    GetWindowTextW(dialog, caption, 64);
    const std::wstring shown = number >= 0 ? FormatWithNumber(text, number) : std::wstring(text);
    HandheldMessageBox(dialog, shown.c_str(), caption, MB_OK | icon);
}

// The sender tells every end but success: the user must learn whether the
// picture went.
void ShowSendOutcome(HWND dialog, int result) {
    switch (result) {
    case kIrdaSendDone:
        break;
    case kIrdaSendNoDevice:
        ShowIrdaMessage(dialog, IDS_IRDA_NO_DEVICE, "IDS_IRDA_NO_DEVICE",
                        L"The picture was not sent: no device was found.", MB_ICONEXCLAMATION);
        break;
    case kIrdaSendCancelled:
        ShowIrdaMessage(dialog, IDS_IRDA_SEND_CANCELLED, "IDS_IRDA_SEND_CANCELLED",
                        L"Sending was cancelled. The picture was not sent.", MB_ICONINFORMATION);
        break;
    default:
        ShowIrdaMessage(dialog, IDS_IRDA_NOT_SENT, "IDS_IRDA_NOT_SENT", L"The picture was not sent.", MB_ICONSTOP);
        break;
    }
}

LRESULT OnWorkerDone(HWND dialog, UINT, WPARAM result, LPARAM) {
    INT_PTR ended = INT_PTR(result);
    if (IrdaDialogState* state = StateOf(dialog)) {
        WaitForSingleObject(state->thread, INFINITE);
        CloseHandle(state->thread);
        state->thread = nullptr;
        if (state->file) {
            ShowSendOutcome(dialog, int(result));
            ended = result == kIrdaSendDone ? 1 : 0;
        } else if (state->sendError) {
            ShowSendFailed(dialog, state->sendError);
        } else if (result == kObexReceiveLimited) {
            ShowIrdaMessage(dialog, IDS_IRDA_RECEIVE_LIMITED, "IDS_IRDA_RECEIVE_LIMITED",
                            L"The sender passed the limit of one transfer (%d pictures or 4 GB).", MB_ICONINFORMATION,
                            int(kObexMaxObjects));
        }
        // Stored objects are the browser's to show, whether or not the sender stopped at a limit.
        if (!state->file) ended = result == kObexReceiveDone || result == kObexReceiveLimited ? 1 : 0;
    }
    EndDialog(dialog, ended);
    return TRUE;
}

const CommandRow kIrdaCommands[] = {{IDCANCEL, OnIrdaCancel}};
const CommandTable kIrdaCommandTable = MakeCommandTable(kIrdaCommands, kDefaultNone);

LRESULT OnIrdaCommand(HWND dialog, UINT message, WPARAM first, LPARAM second) {
    return CmdTableDispatch(kIrdaCommandTable, dialog, message, first, second);
}

const MessageRow kReceiveRows[] = {
    {WM_INITDIALOG, OnReceiveInit}, {WM_COMMAND, OnIrdaCommand}, {WM_CLOSE, OnIrdaClose},
    {kWorkerText, OnWorkerText},    {kWorkerDone, OnWorkerDone},
};
const MessageRow kSendRows[] = {
    {WM_INITDIALOG, OnSendInit}, {WM_COMMAND, OnIrdaCommand}, {WM_CLOSE, OnIrdaClose},
    {kWorkerText, OnWorkerText}, {kWorkerDone, OnWorkerDone},
};
const MessageTable kReceiveTable = MakeMessageTable(kReceiveRows, kDefaultNone);
const MessageTable kSendTable = MakeMessageTable(kSendRows, kDefaultNone);

INT_PTR CALLBACK ReceiveDialogProc(HWND dialog, UINT message, WPARAM first, LPARAM second) {
    return MsgTableDispatch(kReceiveTable, dialog, message, first, second);
}
INT_PTR CALLBACK SendDialogProc(HWND dialog, UINT message, WPARAM first, LPARAM second) {
    return MsgTableDispatch(kSendTable, dialog, message, first, second);
}

void ShowError(HWND owner, UINT stringId, const char* key) {
    wchar_t text[256];
    if (!LngGetString(Instance(), stringId, key, text, 256)) wcscpy(text, L"Error");
    HandheldMessageBox(owner, text, L"", MB_OK | MB_ICONSTOP);
}

// "Problem to load <name>.": a picture that could not be read for sending.
void ShowLoadError(HWND owner, const std::wstring& path) {
    wchar_t format[256];
    if (!LngGetString(Instance(), IDS_ERROR_LOADING, "IDS_ERROR_LOADING", format, 256)) wcscpy(format, L"%s");
    std::wstring text = format;
    const size_t cut = path.find_last_of(L"\\/");
    const std::wstring name = cut == std::wstring::npos ? path : path.substr(cut + 1);
    const size_t at = text.find(L"%s");
    if (at != std::wstring::npos) text.replace(at, 2, name);
    HandheldMessageBox(owner, text.c_str(), L"", MB_OK | MB_ICONSTOP);
}

}  // namespace

INT_PTR RunMailOptions(HWND owner, wchar_t* recipients, int32_t* sizeChoice, int32_t* formatChoice, wchar_t* service) {
    if (!recipients || !sizeChoice || !formatChoice || !service) return 0;
    MailOptionsDialog dialog;
    DialogInitBase(&dialog, owner, Instance(), IDD_EMAIL_OPTIONS, MailOptionsMap());
    dialog.recipients = recipients;
    dialog.sizeChoice = sizeChoice;
    dialog.formatChoice = formatChoice;
    dialog.service = service;
    const INT_PTR result = DialogRunModalResource(&dialog);
    return result == 1 ? 1 : 0;
}

INT_PTR RunIrdaReceive(HWND owner, const wchar_t* folder, std::vector<std::wstring>* names) {
    IrdaDialogState state;
    state.folder = folder;
    const INT_PTR result = DialogBoxParamW(Instance(), MAKEINTRESOURCEW(IDD_IRDA_RECEIVE), owner, ReceiveDialogProc,
                                           reinterpret_cast<LPARAM>(&state));
    if (result == 1 && names) *names = state.names;
    return result == 1 ? 1 : 0;
}

INT_PTR RunIrdaSend(HWND owner, const wchar_t* folder, const wchar_t* file) {
    IrdaDialogState state;
    state.folder = folder;
    state.file = file;
    const INT_PTR result = DialogBoxParamW(Instance(), MAKEINTRESOURCEW(IDD_IRDA_SEND), owner, SendDialogProc,
                                           reinterpret_cast<LPARAM>(&state));
    return result == 1 ? 1 : 0;
}

int SendFilesByMail(HWND owner, const std::vector<std::wstring>& files) {
    if (files.empty()) return 0;
    MailRecord record{};
    int32_t sizeChoice = 0, formatChoice = 0;
    if (RunMailOptions(owner, record.to, &sizeChoice, &formatChoice, record.service) != 1) return 0;

    std::vector<MailAttachment> attachments(files.size());
    std::vector<std::wstring> temporaries;
    bool converted = true;
    // The converted copies are written to "\Temp", which a device need not have.
    if (sizeChoice != 0 || formatChoice != 0) CreateDirectoryW(L"\\Temp", nullptr);
    for (size_t i = 0; i < files.size(); ++i) {
        MailAttachment& a = attachments[i];
        std::wstring name = files[i];
        std::wstring source = files[i];
        if (sizeChoice != 0 || formatChoice != 0) {
            const std::wstring temp = MailTemporaryName(L"\\Temp\\", int(i));
            bool loadFailed = false;
            if (MailConvertPicture(files[i].c_str(), temp.c_str(), sizeChoice, formatChoice, &name, &loadFailed) != 0) {
                RemoveWidePath(temp.c_str());
                for (const std::wstring& done : temporaries) RemoveWidePath(done.c_str());
                if (loadFailed) {
                    ShowLoadError(owner, files[i]);
                    return 0;
                }
                converted = false;
                break;
            }
            temporaries.push_back(temp);
            source = temp;
        }
        wcsncpy(a.file, source.c_str(), 259);
        wcsncpy(a.name, name.c_str(), 259);
    }
    HRESULT hr = E_FAIL;
    if (converted) {
        record.count = int32_t(attachments.size());
        record.attachments = attachments.data();
        LngGetString(Instance(), IDS_EMAIL_SUBJECT, "IDS_EMAIL_SUBJECT", record.subject, 256);
        LngGetString(Instance(), IDS_EMAIL_BODY, "IDS_EMAIL_BODY", record.body, 256);
        hr = MailSendFiles(&record);
    }
    for (const std::wstring& temp : temporaries) RemoveWidePath(temp.c_str());
    if (!converted) {
        ShowError(owner, IDS_EMAIL_CONVERT_FAILED, "IDS_EMAIL_CONVERT_FAILED");
        return 0;
    }
    if (hr == MAPI_E_NOT_FOUND) {
        // No message store of the chosen name: none is set up (the options
        // offered none), or the chosen one was removed meanwhile.
        ShowError(owner, IDS_EMAIL_NO_SERVICE, "IDS_EMAIL_NO_SERVICE");
        return 0;
    }
    if (FAILED(hr)) {
        ShowError(owner, IDS_EMAIL_FAILED, "IDS_EMAIL_FAILED");
        return 0;
    }
    return 1;
}

int SendFilesByInfrared(HWND owner, const std::vector<std::wstring>& files) {
    if (files.size() != 1) return 0;
    return int(RunIrdaSend(owner, L"", files[0].c_str()));
}

int ReceiveByInfrared(HWND owner, const wchar_t* folder, std::vector<std::wstring>* names) {
    return int(RunIrdaReceive(owner, folder, names));
}
