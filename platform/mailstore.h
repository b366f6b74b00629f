// The message stores behind the handheld's messaging interface: one folder
// per store (its display name, entry identifier and sender address in
// "store.txt") with an "Outbox" folder. Submitting a message renders it as
// an Internet message (RFC 5322 with MIME: a UTF-8 text body and base64
// attachments with their file names, RFC 2047 and RFC 2231 for texts that
// are not ASCII) and writes it into the Outbox in one step, so a transport
// that picks messages up never sees half of one.
//
// The stores live in $PV_MAIL_STORES when set, else "pv-mail" in the
// system's temporary folder; MailStoreSetRoot replaces that for the process.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct MailStoreInfo {
    std::wstring name;              // display name
    std::vector<uint8_t> entryId;   // 16 bytes
    std::wstring folder;            // the store's folder, with a trailing separator
    std::string sender;             // the From address
};

struct MailAttachmentData {
    std::wstring fileName;
    std::vector<uint8_t> bytes;
};

struct MailMessageData {
    std::string from;
    std::vector<std::wstring> to, cc, bcc;  // Bcc recipients are kept out of the headers
    std::wstring subject;
    std::wstring body;
    std::vector<MailAttachmentData> attachments;
};

// A store's "store.txt" larger than this is not read.
constexpr size_t kMailStoreTextMaxBytes = 64 * 1024;

// The From address of a message whose store has no usable sender: RFC 5322
// asks for one in every message (".invalid" is reserved by RFC 2606).
constexpr char kUnknownSender[] = "unknown-sender@pictureviewer.invalid";

std::wstring MailStoreRoot();
void MailStoreSetRoot(const std::wstring& root);  // empty restores the default

// Makes a new store; 0 done.
int MailStoreCreate(const std::wstring& name, const std::string& sender, MailStoreInfo* store);
// Every store under the root, in a stable order (by folder name).
std::vector<MailStoreInfo> MailStoreList();
bool MailStoreFind(const std::vector<uint8_t>& entryId, MailStoreInfo* store);
// Reads the lines "name=", "entryid=" (16 bytes in hex) and "sender=" of a
// store's "store.txt" (not its folder); false without a valid entry
// identifier.
bool MailParseStoreText(const std::string& text, MailStoreInfo* store);

// The message as an Internet message with CRLF line ends. `date` is an RFC
// 5322 date text, `messageId` the text inside "<>" and `boundary` the MIME
// boundary. Addresses that are empty, longer than 254 bytes or hold a
// control character, a space, "<", ">", "," or quotes are left out; without
// a usable sender the From address is kUnknownSender. Lines stay within 78
// characters, but for an address that is longer by itself: subjects fold at
// their blanks or become RFC 2047 encoded words, and attachment names become
// RFC 2231 continuations.
std::string RenderMailMessage(const MailMessageData& message, const std::string& date, const std::string& messageId,
                              const std::string& boundary);

// Renders the message with the current date and fresh identifiers and writes
// it as "<folder>Outbox\<unique>.eml"; 0 done (the path in `path`).
int MailStoreSubmit(const MailStoreInfo& store, const MailMessageData& message, std::wstring* path);
