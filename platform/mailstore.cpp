// Message stores in folders and the Internet message format.
#include "platform/mailstore.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <mutex>
#include <random>

#include "imagelib/fileio.h"
#include "imagelib/osfile.h"
#include "imagelib/textutil.h"

namespace {

std::mutex g_rootLock;
std::wstring& RootOverride() {
    static std::wstring root;
    return root;
}

std::vector<uint8_t> RandomBytes(size_t n) {
    static std::mutex lock;
    static std::mt19937_64 generator{std::random_device{}() ^
                                     uint64_t(std::chrono::steady_clock::now().time_since_epoch().count())};
    std::lock_guard<std::mutex> hold(lock);
    std::vector<uint8_t> bytes(n);
    for (auto& b : bytes) b = uint8_t(generator());
    return bytes;
}

// Reads at most `limit` bytes; false when the file is larger or unreadable.
bool ReadSmallFile(const std::wstring& path, size_t limit, std::string* text) {
    FILE* file = OpenWidePath(path.c_str(), "rb");
    if (!file) return false;
    text->assign(limit + 1, '\0');
    text->resize(std::fread(&(*text)[0], 1, text->size(), file));
    const bool ok = !std::ferror(file) && text->size() <= limit;
    std::fclose(file);
    return ok;
}

// Writes the bytes beside `path` and moves them over it once complete.
int WriteFileAtomically(const std::wstring& path, const std::string& bytes) {
    const std::wstring temp = SiblingName(path, L"mail");
    if (temp.empty()) return -1;
    FILE* file = OpenWidePath(temp.c_str(), "wb");
    bool ok = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file) ok = std::fclose(file) == 0 && ok;
    if (!ok || ReplaceWithTemp(temp, path) != 0) {
        RemoveWidePath(temp.c_str());
        return -1;
    }
    return 0;
}

bool ParseStore(const std::wstring& folder, MailStoreInfo* store) {
    std::string text;
    if (!ReadSmallFile(folder + L"store.txt", kMailStoreTextMaxBytes, &text) || !MailParseStoreText(text, store))
        return false;
    store->folder = folder;
    return true;
}

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(const uint8_t* data, size_t size) {
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    for (size_t i = 0; i < size; i += 3) {
        const uint32_t n = uint32_t(data[i]) << 16 | (i + 1 < size ? uint32_t(data[i + 1]) << 8 : 0) |
                           (i + 2 < size ? data[i + 2] : 0);
        out += kBase64[n >> 18 & 63];
        out += kBase64[n >> 12 & 63];
        out += i + 1 < size ? kBase64[n >> 6 & 63] : '=';
        out += i + 2 < size ? kBase64[n & 63] : '=';
    }
    return out;
}

// Base64 in lines of 76 characters, each ending in CRLF.
std::string Base64Lines(const uint8_t* data, size_t size) {
    const std::string all = Base64(data, size);
    std::string out;
    for (size_t i = 0; i < all.size(); i += 76) out += all.substr(i, 76) + "\r\n";
    return out;
}

bool IsPlainAscii(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

// RFC 5322 asks for lines of at most 78 characters (998 at the very most).
constexpr size_t kLineLimit = 78;

// "<field>: <text>" folded before blanks so that no line passes kLineLimit
// and every line holds more than blanks; empty when that cannot be done.
std::string FoldAtBlanks(const std::string& line) {
    std::string out;
    size_t start = 0;
    for (;;) {
        const bool last = line.size() - start <= kLineLimit;
        const size_t cut = last ? line.size() : line.rfind(' ', start + kLineLimit);
        if (cut == std::string::npos || cut <= start || line.find_first_not_of(' ', start) >= cut)
            return std::string();
        out += line.substr(start, cut - start);
        if (last) return out;
        out += "\r\n";
        start = cut;  // the blank opens the continuation line
    }
}

// A text header: as it is when it is plain ASCII and folds at its blanks,
// else RFC 2047 encoded words of whole UTF-8 characters, one per line.
std::string TextHeader(const std::string& field, const std::wstring& text) {
    const std::string utf8 = WideToUtf8(text.c_str());
    if (IsPlainAscii(utf8) && utf8.find("=?") == std::string::npos) {
        const std::string folded = FoldAtBlanks(field + ": " + utf8);
        if (!folded.empty()) return folded + "\r\n";
    }
    // "=?UTF-8?B?" and "?=" around the base64 of at most `chunk` bytes, the
    // first after "<field>: ".
    const size_t chunk = (kLineLimit - field.size() - 2 - 12) / 4 * 3;
    std::string out = field + ":";
    size_t i = 0;
    while (i < utf8.size()) {
        size_t end = std::min(utf8.size(), i + chunk);
        while (end < utf8.size() && end > i && (uint8_t(utf8[end]) & 0xC0) == 0x80) --end;
        if (i > 0) out += "\r\n";
        out += " =?UTF-8?B?" + Base64(reinterpret_cast<const uint8_t*>(utf8.data()) + i, end - i) + "?=";
        i = end;
    }
    return out + "\r\n";
}

// Longest parameter section, so that " <section>;" fits a line.
constexpr size_t kSectionLimit = kLineLimit - 2;

// A file name parameter as sections of at most kSectionLimit characters:
// quoted when the name is plain ASCII without quotes or backslashes, else
// RFC 2231 UTF-8 with percent escapes; a name too long for one section is
// cut into RFC 2231 continuations ("name*0*=", "name*1*=", ...) between whole
// characters.
std::vector<std::string> FileNameSections(const std::string& parameter, const std::wstring& name) {
    const std::string utf8 = WideToUtf8(name.c_str());
    const bool quoted = IsPlainAscii(utf8) && utf8.find_first_of("\"\\") == std::string::npos;
    // The value's characters as they are written, one entry per character.
    std::vector<std::string> units;
    for (size_t i = 0; i < utf8.size();) {
        size_t n = 1;
        while (!quoted && i + n < utf8.size() && (uint8_t(utf8[i + n]) & 0xC0) == 0x80) ++n;
        std::string unit;
        for (size_t k = i; k < i + n; ++k) {
            const unsigned char c = uint8_t(utf8[k]);
            if (quoted || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                std::strchr("!#$&+-.^_`|~", c)) {
                unit += char(c);
            } else {
                char escape[4];
                std::snprintf(escape, sizeof escape, "%%%02X", c);
                unit += escape;
            }
        }
        units.push_back(unit);
        i += n;
    }
    const std::string open = quoted ? "\"" : "UTF-8''", close = quoted ? "\"" : "";
    const std::string marker = quoted ? "=" : "*=";
    std::string whole = parameter + marker + open;
    for (const std::string& unit : units) whole += unit;
    whole += close;
    if (whole.size() <= kSectionLimit) return {whole};

    std::vector<std::string> sections;
    std::string section;
    for (size_t u = 0; u <= units.size(); ++u) {
        if (u == units.size() || (!section.empty() && section.size() + units[u].size() + close.size() > kSectionLimit)) {
            sections.push_back(section + close);
            section.clear();
            if (u == units.size()) break;
        }
        if (section.empty())
            section = parameter + "*" + std::to_string(sections.size()) + marker +
                      (quoted ? open : sections.empty() ? open : std::string());
        section += units[u];
    }
    return sections;
}

// "<head>; <section>; ...", a section that does not fit the line going onto
// its own continuation line.
std::string ParameterHeader(const std::string& head, const std::vector<std::string>& sections) {
    std::string out = head;
    size_t length = head.size();
    for (const std::string& section : sections) {
        if (length + 2 + section.size() + 1 <= kLineLimit) {
            out += "; " + section;
            length += 2 + section.size();
        } else {
            out += ";\r\n " + section;
            length = 1 + section.size();
        }
    }
    return out + "\r\n";
}

std::string ContentType(const std::wstring& name) {
    const size_t dot = name.rfind(L'.');
    std::wstring ext = dot == std::wstring::npos ? L"" : name.substr(dot + 1);
    for (auto& c : ext) c = wchar_t(std::towlower(c));
    if (ext == L"jpg" || ext == L"jpeg" || ext == L"jpe") return "image/jpeg";
    if (ext == L"png") return "image/png";
    if (ext == L"gif") return "image/gif";
    if (ext == L"bmp") return "image/bmp";
    if (ext == L"tif" || ext == L"tiff") return "image/tiff";
    return "application/octet-stream";
}

// RFC 5321: a path of at most 256 octets, its angle brackets included.
constexpr size_t kAddressMaxBytes = 254;

bool UsableAddress(const std::string& address) {
    if (address.empty() || address.size() > kAddressMaxBytes) return false;
    for (unsigned char c : address)
        if (c <= 0x20 || c == 0x7F || std::strchr("<>,\"()[];:\\", c)) return false;
    return true;
}

std::string AddressList(const std::vector<std::wstring>& addresses) {
    std::string out;
    for (const std::wstring& address : addresses) {
        const std::string utf8 = WideToUtf8(address.c_str());
        if (!UsableAddress(utf8)) continue;
        if (!out.empty()) out += ",\r\n ";
        out += utf8;
    }
    return out;
}

std::string CurrentDate() {
    using namespace std::chrono;
    const int64_t seconds = duration_cast<std::chrono::seconds>(system_clock::now().time_since_epoch()).count();
    int64_t days = seconds / 86400;
    const int64_t rest = seconds % 86400;
    const int weekday = int((days + 4) % 7);  // 1970-01-01 was a Thursday
    // Civil date from days since 1970 (the proleptic Gregorian calendar).
    days += 719468;
    const int64_t era = days / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const int64_t year = yoe + era * 400 + (month <= 2);
    static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %lld %02d:%02d:%02d +0000", kDays[weekday], day, kMonths[month - 1],
                  static_cast<long long>(year), int(rest / 3600), int(rest / 60 % 60), int(rest % 60));
    return text;
}

}  // namespace

bool MailParseStoreText(const std::string& text, MailStoreInfo* store) {
    *store = MailStoreInfo();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        start = end + 1;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "name") store->name = Utf8ToWide(value.c_str());
        else if (key == "entryid") ParseHexText(value, &store->entryId);
        else if (key == "sender") store->sender = value;
    }
    return store->entryId.size() == 16;
}

std::wstring MailStoreRoot() {
    {
        std::lock_guard<std::mutex> hold(g_rootLock);
        if (!RootOverride().empty()) return RootOverride();
    }
    std::wstring root;
    if (const char* env = std::getenv("PV_MAIL_STORES"); env && *env)
        root = Utf8ToWide(env);
    else
        root = SystemTempFolder() + L"pv-mail";
    if (root.back() != L'\\' && root.back() != L'/') root += L'/';
    return root;
}

void MailStoreSetRoot(const std::wstring& root) {
    std::lock_guard<std::mutex> hold(g_rootLock);
    RootOverride() = root;
    if (!root.empty() && root.back() != L'\\' && root.back() != L'/') RootOverride() += L'/';
}

int MailStoreCreate(const std::wstring& name, const std::string& sender, MailStoreInfo* store) {
    if (name.find_first_of(L"\r\n") != std::wstring::npos || sender.find_first_of("\r\n") != std::string::npos)
        return -1;
    const std::wstring root = MailStoreRoot();
    MakeWideFolder(root.c_str());
    MailStoreInfo info;
    info.name = name;
    info.sender = sender;
    info.entryId = RandomBytes(16);
    info.folder = root + L"store-" + Utf8ToWide(HexText(info.entryId.data(), 8).c_str()) + L"/";
    if (MakeWideFolder(info.folder.c_str()) != 0) return -1;
    MakeWideFolder((info.folder + L"Outbox").c_str());
    const std::string text = "name=" + WideToUtf8(name.c_str()) + "\nentryid=" + HexText(info.entryId.data(), 16) +
                             "\nsender=" + sender + "\n";
    if (WriteFileAtomically(info.folder + L"store.txt", text) != 0) return -1;
    if (store) *store = info;
    return 0;
}

std::vector<MailStoreInfo> MailStoreList() {
    std::vector<MailStoreInfo> stores;
    const std::wstring root = MailStoreRoot();
    std::error_code error;
    std::filesystem::directory_iterator it(std::filesystem::u8path(WideToUtf8(root.c_str())), error), end;
    for (; !error && it != end; it.increment(error)) {
        const std::wstring name = Utf8ToWide(it->path().filename().u8string().c_str());
        MailStoreInfo store;
        if (ParseStore(root + name + L"/", &store)) stores.push_back(store);
    }
    std::sort(stores.begin(), stores.end(),
              [](const MailStoreInfo& a, const MailStoreInfo& b) { return a.folder < b.folder; });
    return stores;
}

bool MailStoreFind(const std::vector<uint8_t>& entryId, MailStoreInfo* store) {
    for (const MailStoreInfo& candidate : MailStoreList()) {
        if (candidate.entryId == entryId) {
            if (store) *store = candidate;
            return true;
        }
    }
    return false;
}

std::string RenderMailMessage(const MailMessageData& message, const std::string& date, const std::string& messageId,
                              const std::string& boundary) {
    std::string out;
    // RFC 5322 asks for a From header in every message.
    out += "From: " + (UsableAddress(message.from) ? message.from : std::string(kUnknownSender)) + "\r\n";
    const std::string to = AddressList(message.to), cc = AddressList(message.cc);
    if (!to.empty()) out += "To: " + to + "\r\n";
    if (!cc.empty()) out += "Cc: " + cc + "\r\n";
    if (!message.subject.empty()) out += TextHeader("Subject", message.subject);
    out += "Date: " + date + "\r\n";
    out += "Message-ID: <" + messageId + ">\r\n";
    out += "MIME-Version: 1.0\r\n";
    out += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    const std::string body = WideToUtf8(message.body.c_str());
    out += "--" + boundary + "\r\n";
    out += "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    out += Base64Lines(reinterpret_cast<const uint8_t*>(body.data()), body.size());
    for (const MailAttachmentData& attachment : message.attachments) {
        out += "--" + boundary + "\r\n";
        out += ParameterHeader("Content-Type: " + ContentType(attachment.fileName),
                               FileNameSections("name", attachment.fileName));
        out += "Content-Transfer-Encoding: base64\r\n";
        out += ParameterHeader("Content-Disposition: attachment", FileNameSections("filename", attachment.fileName));
        out += "\r\n";
        out += Base64Lines(attachment.bytes.data(), attachment.bytes.size());
    }
    out += "--" + boundary + "--\r\n";
    return out;
}

int MailStoreSubmit(const MailStoreInfo& store, const MailMessageData& message, std::wstring* path) {
    const std::vector<uint8_t> id = RandomBytes(16);
    const std::string unique = HexText(id.data(), 16);
    const std::string text = RenderMailMessage(message, CurrentDate(), unique + "@pictureviewer.invalid",
                                               "=_pv_" + HexText(id.data(), 12));
    const std::wstring outbox = store.folder + L"Outbox";
    MakeWideFolder(outbox.c_str());
    const std::wstring final = outbox + L"/" + Utf8ToWide(unique.c_str()) + L".eml";
    if (WriteFileAtomically(final, text) != 0) return -1;
    if (path) *path = final;
    return 0;
}
