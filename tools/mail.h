// E-mail sending: the record the "Send by Email..." command fills, and the
// rules for its texts. MailSendFiles (mail_win.h) hands the record to the
// messaging interface.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct MailAttachment {
    wchar_t file[260];  // the file whose bytes are sent
    wchar_t name[260];  // the attachment's name; only its part after the last "\" is used
};

struct MailRecord {
    wchar_t to[256];       // recipient addresses as typed
    wchar_t subject[256];
    wchar_t body[256];
    wchar_t service[256];  // display name of the chosen message store
    int32_t count;
    MailAttachment* attachments;
};

// The addresses of a recipient text: separated by ";" or spaces, which are
// skipped; empty addresses (";;", "a ;b") are left out.
std::vector<std::wstring> MailSplitAddresses(const wchar_t* text);
// How many addresses MailSplitAddresses gives.
size_t MailCountAddresses(const wchar_t* text);
// The attachment's file name: the name's part after its last "\" (or "/").
std::wstring MailAttachmentName(const wchar_t* name);

// Size and format choices of the e-mail options (index = stored value).
constexpr int kMailSizeChoices = 5;    // original, 75%, 50%, 25%, 10%
constexpr int kMailFormatChoices = 6;  // original, PNG, JPEG high, normal, low, GIF

// The temporary file of the picture at `position` of the selection, in the
// folder `tempFolder` (with its separator): "trelmo_temporary_<n>.tmp".
std::wstring MailTemporaryName(const std::wstring& tempFolder, int position);

// Writes `source` into `temp` scaled by the size choice and in the format
// choice (1 PNG, 2 to 4 JPEG at qualities 100, 75 and 50, 5 GIF; 0 keeps
// the picture's own format at JPEG quality 75, or JPEG when that format
// cannot be written). The picture is loaded upright with its comment, texts
// and metadata, which the copy keeps. A GIF gets a palette of at most 256
// colours chosen for the picture; a palette picture becomes true colour for
// JPEG. `attachmentName` receives the source's base name with the written
// format's extension. 0 done, else the load, resampling, reduction or save
// result code; `loadFailed` (may be null) says whether the load failed. The
// format registry must exist.
int MailConvertPicture(const wchar_t* source, const wchar_t* temp, int sizeChoice, int formatChoice,
                       std::wstring* attachmentName, bool* loadFailed = nullptr);
