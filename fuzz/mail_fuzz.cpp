// The mail store and the MIME writer: a store's "store.txt" as any program
// may leave it, then a message whose texts come from the input, rendered as
// an Internet message. Every line ends in CRLF and stays within 998 bytes,
// and within 78 but for an address header; every header line starts a field
// or continues one (no text makes a header of its own); there is one From.
//
// Input: two bytes (little-endian) giving the length of the store text, the
// store text, then the message's fields separated by zero bytes, as UTF-8:
// recipients, subject, body, then one attachment name per field.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/textutil.h"
#include "platform/mailstore.h"
#include "tools/mail.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckMessage(const std::string& text) {
    bool inHeader = true, inAddresses = false;
    int fromLines = 0;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        Check(end != std::string::npos);
        const std::string line = text.substr(start, end - start);
        start = end + 2;
        Check(line.find_first_of("\r\n") == std::string::npos);
        Check(line.size() <= 998);
        if (line.empty()) {
            inHeader = false;  // the body of a message or part; part headers follow a boundary
            continue;
        }
        if (line.rfind("--", 0) == 0) {
            inHeader = true;
            inAddresses = false;
            continue;
        }
        if (inHeader) {
            if (line[0] == ' ') {
                Check(line.find_first_not_of(' ') != std::string::npos);
            } else {
                const size_t colon = line.find(':');
                Check(colon != std::string::npos && colon > 0);
                const std::string field = line.substr(0, colon);
                Check(field.find_first_of(" \t") == std::string::npos);
                inAddresses = field == "From" || field == "To" || field == "Cc";
                fromLines += field == "From";
            }
            Check(inAddresses || line.size() <= 78);
        } else {
            Check(line.size() <= 78);
        }
    }
    Check(fromLines == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t storeSize = std::min<size_t>(size - 2, size_t(data[0]) | size_t(data[1]) << 8);
    const std::string storeText(reinterpret_cast<const char*>(data) + 2, storeSize);
    MailStoreInfo store;
    if (MailParseStoreText(storeText, &store)) Check(store.entryId.size() == 16);

    std::vector<std::string> fields;
    std::string field;
    for (size_t i = 2 + storeSize; i < size; ++i) {
        if (data[i] == 0) {
            fields.push_back(field);
            field.clear();
        } else {
            field += char(data[i]);
        }
    }
    fields.push_back(field);
    auto wide = [&](size_t i) { return i < fields.size() ? Utf8ToWide(fields[i].c_str()) : std::wstring(); };

    MailMessageData message;
    message.from = store.sender;
    message.to = MailSplitAddresses(wide(0).c_str());
    message.cc = message.to;
    message.subject = wide(1);
    message.body = wide(2);
    for (size_t i = 3; i < fields.size() && i < 8; ++i)
        message.attachments.push_back({MailAttachmentName(wide(i).c_str()), {uint8_t(i), 0, 255}});
    CheckMessage(RenderMailMessage(message, "Thu, 1 Jan 2026 00:00:00 +0000", "fuzz@pictureviewer.invalid", "=_pv_fuzz"));
    return 0;
}
