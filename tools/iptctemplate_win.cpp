#include "tools/iptctemplate_win.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/framework_win.h"
#include "processing/iptc.h"
#include "resources/tools.rh"
#include "shell/language_win.h"
#include "shell/settings_win.h"
#include "tools/iptctemplate.h"

namespace {

constexpr const wchar_t* kIptcSection = L"IPTC";
constexpr int kNameCapacity = 128;

std::wstring SectionKey() { return std::wstring(RegSettingsRoot()) + L"\\" + kIptcSection; }

struct TemplateDialog {
    IptcRecord* record;
    int mode;
};

std::wstring ListSelection(HWND dialog) {
    const LRESULT index = SendDlgItemMessageW(dialog, IDC_IT_LIST, LB_GETCURSEL, 0, 0);
    if (index < 0) return std::wstring();
    const LRESULT length = SendDlgItemMessageW(dialog, IDC_IT_LIST, LB_GETTEXTLEN, WPARAM(index), 0);
    if (length <= 0) return std::wstring();
    std::wstring name(size_t(length) + 1, L'\0');
    SendDlgItemMessageW(dialog, IDC_IT_LIST, LB_GETTEXT, WPARAM(index), reinterpret_cast<LPARAM>(&name[0]));
    name.resize(size_t(length));
    return name;
}

void NameTyped(HWND dialog) {
    wchar_t name[kNameCapacity] = L"";
    GetDlgItemTextW(dialog, IDC_IT_NAME, name, kNameCapacity);
    const bool taken = SendDlgItemMessageW(dialog, IDC_IT_LIST, LB_FINDSTRINGEXACT, WPARAM(-1),
                                           reinterpret_cast<LPARAM>(name)) != LB_ERR &&
                       name[0] != 0;
    // LB_FINDSTRINGEXACT ignores case; a template is only refused for the same name exactly.
    bool exact = false;
    if (taken) {
        const LRESULT count = SendDlgItemMessageW(dialog, IDC_IT_LIST, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count && !exact; ++i) {
            wchar_t item[kNameCapacity] = L"";
            if (SendDlgItemMessageW(dialog, IDC_IT_LIST, LB_GETTEXTLEN, WPARAM(i), 0) < kNameCapacity)
                SendDlgItemMessageW(dialog, IDC_IT_LIST, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(item));
            exact = std::wcscmp(item, name) == 0;
        }
    }
    DlgItemEnable(dialog, IDC_APPLY, name[0] != 0 && !exact);
    if (exact) DlgItemEnable(dialog, IDC_IPTCDEL, FALSE);
}

INT_PTR CALLBACK TemplateProc(HWND dialog, UINT message, WPARAM first, LPARAM second) {
    auto* t = reinterpret_cast<TemplateDialog*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG:
        t = reinterpret_cast<TemplateDialog*>(second);
        DialogInitFullScreen(dialog, t);
        LngSelectSection("DlgIptcList");
        LngSetItemText(dialog, IDC_APPLY, "IDC_APPLY");
        LngSetItemText(dialog, IDC_LOAD, "IDC_LOAD");
        LngSetItemText(dialog, IDC_IPTCDEL, "IDC_IPTCDEL");
        IptcTemplateList(dialog, IDC_IT_LIST);
        if (t->mode == kIptcTemplateLoad) {
            DlgItemShow(dialog, IDC_APPLY, FALSE);
            DlgItemShow(dialog, IDC_IT_NAME, FALSE);
            DlgItemEnable(dialog, IDC_LOAD, FALSE);
            DlgItemEnable(dialog, IDC_IPTCDEL, FALSE);
        } else {
            DlgItemEnable(dialog, IDC_IT_LIST, FALSE);
            DlgItemEnable(dialog, IDC_APPLY, FALSE);
            DlgItemShow(dialog, IDC_LOAD, FALSE);
            DlgItemShow(dialog, IDC_IPTCDEL, FALSE);
        }
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(first)) {
        case IDC_IT_NAME:
            if (HIWORD(first) == EN_UPDATE) NameTyped(dialog);
            return TRUE;
        case IDC_IT_LIST:
            if (HIWORD(first) == LBN_SELCHANGE) {
                DlgItemEnable(dialog, IDC_LOAD, TRUE);
                DlgItemEnable(dialog, IDC_IPTCDEL, TRUE);
            }
            return TRUE;
        case IDC_IPTCDEL: {
            const std::wstring name = ListSelection(dialog);
            if (!name.empty()) {
                IptcTemplateDelete(name.c_str());
                SendDlgItemMessageW(dialog, IDC_IT_LIST, LB_DELETESTRING,
                                    WPARAM(SendDlgItemMessageW(dialog, IDC_IT_LIST, LB_GETCURSEL, 0, 0)), 0);
            }
            return TRUE;
        }
        case IDC_APPLY:
        case IDC_LOAD: {
            int result = 0;
            if (t->mode == kIptcTemplateSave) {
                wchar_t name[kNameCapacity] = L"";
                GetDlgItemTextW(dialog, IDC_IT_NAME, name, kNameCapacity);
                if (name[0] && IsWindowEnabled(GetDlgItem(dialog, IDC_APPLY))) {
                    IptcTemplateWrite(*t->record, name);
                    result = 1;
                }
            } else {
                const std::wstring name = ListSelection(dialog);
                if (!name.empty()) {
                    IptcFree(t->record);
                    result = IptcTemplateRead(name.c_str(), t->record);
                }
            }
            EndDialog(dialog, result);
            return TRUE;
        }
        case IDOK:
        case IDCANCEL: EndDialog(dialog, 0); return TRUE;
        default: return FALSE;
        }
    default: return FALSE;
    }
}

}  // namespace

void IptcTemplateWrite(const IptcRecord& record, const wchar_t* name) {
    const std::string text = IptcTemplateEncode(record);
    std::wstring wide(text.size() + 1, L'\0');
    const int n = text.empty() ? 0
                               : MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), &wide[0],
                                                     int(wide.size()));
    wide.resize(size_t(n > 0 ? n : 0));
    RegWriteText(kIptcSection, name, wide.c_str());
}

int IptcTemplateRead(const wchar_t* name, IptcRecord* record) {
    std::vector<wchar_t> wide(kIptcTemplateCapacity, L'\0');
    RegReadText(kIptcSection, name, L"", wide.data(), int(wide.size()));
    if (!wide[0]) return 0;
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return 0;
    std::string text(size_t(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, &text[0], length, nullptr, nullptr);
    text.resize(size_t(length - 1));
    return IptcTemplateDecode(text.data(), text.size(), record);
}

void IptcTemplateList(HWND dialog, int listId) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SectionKey().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    for (DWORD i = 0;; ++i) {
        wchar_t name[kNameCapacity];
        DWORD length = kNameCapacity;
        DWORD type = 0;
        const LONG status = RegEnumValueW(key, i, name, &length, nullptr, &type, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;
        SendDlgItemMessageW(dialog, listId, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    RegCloseKey(key);
}

void IptcTemplateDelete(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SectionKey().c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, name);
    RegCloseKey(key);
}

int RunIptcTemplateList(HWND parent, IptcRecord* record, int mode) {
    TemplateDialog t{record, mode};
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_IPTC_TEMPLATES), parent,
                                           TemplateProc, reinterpret_cast<LPARAM>(&t));
    return result == 1 ? 1 : 0;
}
