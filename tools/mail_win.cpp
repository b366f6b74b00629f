// E-mail sending through the messaging interface.
#include "tools/mail_win.h"

#include <mapicode.h>
#include <mapitags.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/handheld.h"
#include "platform/messaging_win.h"

namespace {

// Diagnostics of a failing messaging call, with this module and the line.
#define MAIL_TRACE(hr) MailTrace((hr), __LINE__)

void MailTrace(HRESULT hr, int line) {
    wchar_t text[96];
    std::swprintf(text, 96, L"CEMAPI: FAILED(%x) at %hs:%d\n", unsigned(hr), "mail", line);
    OutputDebugStringW(text);
}

template <class T>
void ReleaseObject(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

constexpr ULONG kMessageFlagsUnsentFromMe = 0x28;
constexpr ULONG kMessageStatusSmtp = 0x20000;
constexpr size_t kStreamChunk = 65536;

// The recipients of the To text, each {type 1, "SMTP", address}, in one block.
HRESULT MailBuildRecipients(IMessage* message, const wchar_t* to) {
    const std::vector<std::wstring> addresses = MailSplitAddresses(to);
    size_t textBytes = 0;
    for (const auto& a : addresses) textBytes += (a.size() + 1) * sizeof(wchar_t);
    const size_t head = CbNewADRLIST(addresses.size() ? addresses.size() : 1);
    const size_t values = sizeof(SPropValue) * 3 * addresses.size();
    auto* block = static_cast<uint8_t*>(std::calloc(1, head + values + textBytes));
    if (!block) return E_OUTOFMEMORY;
    auto* list = reinterpret_cast<ADRLIST*>(block);
    auto* props = reinterpret_cast<SPropValue*>(block + head);
    auto* text = reinterpret_cast<wchar_t*>(block + head + values);
    static wchar_t kSmtp[] = L"SMTP";
    list->cEntries = ULONG(addresses.size());
    for (size_t i = 0; i < addresses.size(); ++i) {
        SPropValue* p = props + 3 * i;
        p[0].ulPropTag = PR_RECIPIENT_TYPE;
        p[0].Value.l = MAPI_TO;
        p[1].ulPropTag = PR_ADDRTYPE_W;
        p[1].Value.lpszW = kSmtp;
        p[2].ulPropTag = PR_EMAIL_ADDRESS_W;
        std::memcpy(text, addresses[i].c_str(), (addresses[i].size() + 1) * sizeof(wchar_t));
        p[2].Value.lpszW = text;
        text += addresses[i].size() + 1;
        list->aEntries[i].cValues = 3;
        list->aEntries[i].rgPropVals = p;
    }
    const HRESULT hr = message->ModifyRecipients(MODRECIP_ADD, list);
    std::free(block);
    return hr;
}

// Writes `size` bytes into a property stream opened for writing.
HRESULT WriteStream(IStream* stream, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size) {
        const ULONG chunk = ULONG(size < kStreamChunk ? size : kStreamChunk);
        ULONG written = 0;
        const HRESULT hr = stream->Write(p, chunk, &written);
        if (FAILED(hr)) return hr;
        if (written != chunk) return STG_E_MEDIUMFULL;
        p += chunk;
        size -= chunk;
    }
    return S_OK;
}

HRESULT MailFillMessage(IMessage* message, const MailRecord* record) {
    HRESULT hr = MailBuildRecipients(message, record->to);
    if (FAILED(hr)) {
        MAIL_TRACE(hr);
        return hr;
    }
    SPropValue props[3] = {};
    props[0].ulPropTag = PR_MESSAGE_FLAGS;
    props[0].Value.l = kMessageFlagsUnsentFromMe;
    props[1].ulPropTag = PR_MSG_STATUS;
    props[1].Value.l = kMessageStatusSmtp;
    ULONG count = 2;
    wchar_t subject[256];
    std::wcsncpy(subject, record->subject, 255);
    subject[255] = 0;
    if (subject[0]) {
        props[2].ulPropTag = PR_SUBJECT_W;
        props[2].Value.lpszW = subject;
        count = 3;
    }
    hr = message->SetProps(count, props, nullptr);
    if (FAILED(hr)) {
        MAIL_TRACE(hr);
        return hr;
    }
    IUnknown* unknown = nullptr;
    hr = message->OpenProperty(PR_BODY_W, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY, &unknown);
    if (FAILED(hr)) {
        MAIL_TRACE(hr);
        return hr;
    }
    auto* stream = static_cast<IStream*>(static_cast<void*>(unknown));
    // The body's characters alone: a terminating zero is no part of the text.
    const size_t length = wcsnlen(record->body, 256);
    hr = WriteStream(stream, record->body, length * sizeof(wchar_t));
    if (SUCCEEDED(hr)) hr = stream->Commit(0);
    if (FAILED(hr)) MAIL_TRACE(hr);
    stream->Release();
    return hr;
}

HRESULT MailAddAttachment(IAttach* attachment, const MailAttachment* record) {
    wchar_t fileName[260];
    const std::wstring name = MailAttachmentName(record->name);
    std::wcsncpy(fileName, name.c_str(), 259);
    fileName[259] = 0;
    SPropValue props[3] = {};
    props[0].ulPropTag = PR_ATTACH_METHOD;
    props[0].Value.l = ATTACH_BY_VALUE;
    props[1].ulPropTag = PR_RENDERING_POSITION;
    props[1].Value.l = -1;
    props[2].ulPropTag = PR_ATTACH_FILENAME_W;
    props[2].Value.lpszW = fileName;
    HRESULT hr = attachment->SetProps(3, props, nullptr);
    if (FAILED(hr)) {
        MAIL_TRACE(hr);
        return hr;
    }
    // An attachment whose file cannot be read fails the send: a message
    // that arrives without the picture is worse than none.
    HANDLE file = CreateFileW(record->file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        hr = HRESULT_FROM_WIN32(GetLastError());
        MAIL_TRACE(hr);
        return hr;
    }
    IUnknown* unknown = nullptr;
    hr = attachment->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, STGM_WRITE, MAPI_CREATE | MAPI_MODIFY, &unknown);
    if (FAILED(hr)) {
        MAIL_TRACE(hr);
        CloseHandle(file);
        return hr;
    }
    auto* stream = static_cast<IStream*>(static_cast<void*>(unknown));
    ULARGE_INTEGER zero{};
    hr = stream->SetSize(zero);
    std::vector<uint8_t> buffer(kStreamChunk);
    while (SUCCEEDED(hr)) {
        DWORD read = 0;
        if (!ReadFile(file, buffer.data(), DWORD(buffer.size()), &read, nullptr)) {
            hr = HRESULT_FROM_WIN32(GetLastError());
            break;
        }
        if (read == 0) break;
        hr = WriteStream(stream, buffer.data(), read);
    }
    CloseHandle(file);
    if (SUCCEEDED(hr)) hr = stream->Commit(0);
    stream->Release();
    if (FAILED(hr)) {
        MAIL_TRACE(hr);
        return hr;
    }
    hr = attachment->SaveChanges(FORCE_SAVE);
    if (FAILED(hr)) MAIL_TRACE(hr);
    return hr;
}

// One copy of the message into the store with this entry identifier.
HRESULT SendThroughStore(IMAPISession* session, const SBinary& entryId, const MailRecord* record) {
    IMsgStore* store = nullptr;
    IMAPIFolder* folder = nullptr;
    IMessage* message = nullptr;
    SPropValue* props = nullptr;
    HRESULT hr = session->OpenMsgStore(0, entryId.cb, reinterpret_cast<ENTRYID*>(entryId.lpb), nullptr, 0, &store);
    if (FAILED(hr)) MAIL_TRACE(hr);
    if (SUCCEEDED(hr)) {
        SizedSPropTagArray(1, tags) = {1, {kPropDraftsEntryId}};
        ULONG count = 0;
        hr = store->GetProps(reinterpret_cast<SPropTagArray*>(&tags), MAPI_UNICODE, &count, &props);
        if (hr == MAPI_W_ERRORS_RETURNED || (SUCCEEDED(hr) && (count != 1 || props[0].ulPropTag != kPropDraftsEntryId)))
            hr = MAPI_E_NOT_FOUND;
        if (FAILED(hr)) MAIL_TRACE(hr);
    }
    if (SUCCEEDED(hr)) {
        ULONG type = 0;
        IUnknown* unknown = nullptr;
        hr = store->OpenEntry(props[0].Value.bin.cb, reinterpret_cast<ENTRYID*>(props[0].Value.bin.lpb), nullptr,
                              MAPI_MODIFY, &type, &unknown);
        if (SUCCEEDED(hr)) folder = static_cast<IMAPIFolder*>(static_cast<void*>(unknown));
        if (FAILED(hr)) MAIL_TRACE(hr);
    }
    if (SUCCEEDED(hr)) {
        hr = folder->CreateMessage(nullptr, 0, &message);
        if (FAILED(hr)) MAIL_TRACE(hr);
    }
    for (int32_t i = 0; SUCCEEDED(hr) && i < record->count; ++i) {
        IAttach* attachment = nullptr;
        ULONG number = 0;
        hr = message->CreateAttach(nullptr, 0, &number, &attachment);
        if (FAILED(hr)) {
            MAIL_TRACE(hr);
            break;
        }
        hr = MailAddAttachment(attachment, &record->attachments[i]);
        attachment->Release();
    }
    // Only a message that was filled completely is submitted.
    if (SUCCEEDED(hr)) {
        hr = message->SaveChanges(FORCE_SAVE);
        if (FAILED(hr)) MAIL_TRACE(hr);
    }
    if (SUCCEEDED(hr)) hr = MailFillMessage(message, record);
    if (SUCCEEDED(hr)) {
        hr = message->SubmitMessage(0);
        if (FAILED(hr)) MAIL_TRACE(hr);
    }
    MessagingFreeBuffer(props);
    ReleaseObject(message);
    ReleaseObject(folder);
    ReleaseObject(store);
    return hr;
}

void StoreMissingEntryId() { HandheldMessageBox(nullptr, L"Store missing PR_ENTRYID!", L"Doh", MB_OK); }

}  // namespace

HRESULT MailSendFiles(const MailRecord* record) {
    if (!record || record->count < 0 || (record->count > 0 && !record->attachments)) return E_INVALIDARG;
    IMAPISession* session = nullptr;
    IMAPITable* table = nullptr;
    HRESULT hr = MessagingLogon(&session);
    if (FAILED(hr)) {
        MAIL_TRACE(hr);
        return hr;
    }
    hr = session->GetMsgStoresTable(MAPI_UNICODE, &table);
    if (FAILED(hr)) MAIL_TRACE(hr);
    bool sent = false;
    if (SUCCEEDED(hr)) {
        SizedSPropTagArray(3, columns) = {3, {kPropDraftsEntryId, PR_ENTRYID, PR_DISPLAY_NAME_W}};
        table->SetColumns(reinterpret_cast<SPropTagArray*>(&columns), 0);
        for (;;) {
            SRowSet* rows = nullptr;
            hr = table->QueryRows(1, 0, &rows);
            if (FAILED(hr)) {
                MAIL_TRACE(hr);
                break;
            }
            if (rows->cRows == 0) {
                MessagingFreeRows(rows);
                break;
            }
            const SRow& row = rows->aRow[0];
            if (row.cValues == 0) {
                StoreMissingEntryId();
                MessagingFreeRows(rows);
                hr = E_FAIL;
                break;
            }
            if (row.cValues >= 3 && row.lpProps[2].ulPropTag == PR_DISPLAY_NAME_W &&
                _wcsicmp(row.lpProps[2].Value.lpszW, record->service) != 0) {
                MessagingFreeRows(rows);
                continue;
            }
            if (row.cValues < 2 || row.lpProps[1].ulPropTag != PR_ENTRYID) {
                StoreMissingEntryId();
                MessagingFreeRows(rows);
                hr = E_FAIL;
                break;
            }
            hr = SendThroughStore(session, row.lpProps[1].Value.bin, record);
            MessagingFreeRows(rows);
            if (FAILED(hr)) break;
            sent = true;
        }
    }
    // A Service that names no store sent nothing, which is no success.
    if (SUCCEEDED(hr) && !sent) hr = MAPI_E_NOT_FOUND;
    ReleaseObject(table);
    session->Logoff(0, 0, 0);
    ReleaseObject(session);
    return hr;
}

void MailFillServiceList(HWND comboBox, const wchar_t* saved) {
    IMAPISession* session = nullptr;
    IMAPITable* table = nullptr;
    HRESULT hr = MessagingLogon(&session);
    if (FAILED(hr)) MAIL_TRACE(hr);
    if (SUCCEEDED(hr)) {
        hr = session->GetMsgStoresTable(MAPI_UNICODE, &table);
        if (FAILED(hr)) MAIL_TRACE(hr);
    }
    if (SUCCEEDED(hr)) {
        SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_DISPLAY_NAME_W}};
        hr = table->SetColumns(reinterpret_cast<SPropTagArray*>(&columns), 0);
        if (FAILED(hr)) MAIL_TRACE(hr);
    }
    while (SUCCEEDED(hr)) {
        SRowSet* rows = nullptr;
        hr = table->QueryRows(1, 0, &rows);
        if (FAILED(hr)) {
            MAIL_TRACE(hr);
            break;
        }
        const bool end = rows->cRows == 0;
        if (!end && rows->aRow[0].cValues == 2 && rows->aRow[0].lpProps[1].ulPropTag == PR_DISPLAY_NAME_W) {
            const wchar_t* name = rows->aRow[0].lpProps[1].Value.lpszW;
            const LRESULT index = SendMessageW(comboBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
            if (index >= 0 && saved && _wcsicmp(name, saved) == 0) SendMessageW(comboBox, CB_SETCURSEL, WPARAM(index), 0);
        }
        MessagingFreeRows(rows);
        if (end) break;
    }
    ReleaseObject(table);
    if (session) {
        session->Logoff(0, 0, 0);
        ReleaseObject(session);
    }
    if (SendMessageW(comboBox, CB_GETCURSEL, 0, 0) == CB_ERR) SendMessageW(comboBox, CB_SETCURSEL, 0, 0);
}
