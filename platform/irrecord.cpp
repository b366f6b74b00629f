// Device records of the infrared stand-in: see irrecord.h.
#include "platform/irrecord.h"

#include <cstdio>

#include "imagelib/textutil.h"

namespace {

// A whole text of decimal digits (no sign, no blank) up to `max`.
bool ParseDecimal(std::string_view text, uint32_t max, uint32_t* value) {
    if (text.empty() || text.size() > 10) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    uint64_t v = 0;
    for (char c : text) v = v * 10 + uint64_t(c - '0');
    if (v > max) return false;
    *value = uint32_t(v);
    return true;
}

// Splits `text` at single blanks into exactly `count` record words.
bool SplitWords(std::string_view text, std::string_view* words, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const size_t blank = i + 1 < count ? text.find(' ') : std::string_view::npos;
        if (i + 1 < count && blank == std::string_view::npos) return false;
        words[i] = text.substr(0, blank);
        if (!IrIsRecordWord(words[i])) return false;
        if (blank != std::string_view::npos) text.remove_prefix(blank + 1);
    }
    return true;
}

bool ParseLsap(std::string_view text, int* lsap) {
    uint32_t v = 0;
    if (!ParseDecimal(text, kIrLsapMax, &v) || v < uint32_t(kIrLsapMin)) return false;
    *lsap = int(v);
    return true;
}

bool ParseService(std::string_view text, IrDeviceRecord* record) {
    std::string_view words[3];
    uint32_t port = 0;
    if (!SplitWords(text, words, 3) || !ParseLsap(words[0], &record->lsap) || !ParseDecimal(words[1], 0xFFFF, &port) ||
        port == 0 || words[2].size() > kIrServiceNameMax)
        return false;
    record->port = uint16_t(port);
    record->service = std::string(words[2]);
    return true;
}

bool ParseIas(std::string_view text, IrDeviceRecord* record) {
    std::string_view words[3];
    if (!SplitWords(text, words, 3)) return false;
    IrIasEntry entry{std::string(words[0]), std::string(words[1]), {}};
    if (words[2] != "-" && (!ParseHexText(words[2], &entry.value) || entry.value.empty() ||
                            entry.value.size() > kIrIasValueMax))
        return false;
    record->ias.push_back(std::move(entry));
    return true;
}

}  // namespace

bool IrIsRecordText(std::string_view text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

bool IrIsRecordWord(std::string_view text) {
    return !text.empty() && text.find(' ') == std::string_view::npos && IrIsRecordText(text);
}

std::string IrFormatDeviceRecord(const IrDeviceRecord& record) {
    std::string text = "pid " + std::to_string(record.pid) + "\nname " + record.name + "\nhost " + record.host +
                       "\nservice " + std::to_string(record.lsap) + ' ' + std::to_string(record.port) + ' ' +
                       record.service + '\n';
    for (const IrIasEntry& entry : record.ias) {
        const std::string value = entry.value.empty() ? "-" : HexText(entry.value.data(), entry.value.size());
        text += "ias " + entry.className + ' ' + entry.attribute + ' ' + value + '\n';
    }
    return text;
}

bool IrParseDeviceRecord(std::string_view text, IrDeviceRecord* record) {
    if (text.size() > kIrRecordMaxBytes) return false;
    const uint32_t id = record->id;
    *record = IrDeviceRecord();
    record->id = id;
    bool haveService = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const size_t blank = line.find(' ');
        const std::string_view key = line.substr(0, blank);
        const std::string_view rest = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
        bool ok = true;
        if (key == "pid") {
            ok = ParseDecimal(rest, UINT32_MAX, &record->pid);
        } else if (key == "name") {
            ok = IrIsRecordText(rest);
            record->name = std::string(rest);
        } else if (key == "host") {
            std::string_view host;
            ok = SplitWords(rest, &host, 1);
            record->host = std::string(host);
        } else if (key == "service") {
            ok = ParseService(rest, record);
            haveService = haveService || ok;
        } else if (key == "ias") {
            ok = ParseIas(rest, record);
        }
        if (!ok) return false;
    }
    return haveService;
}

std::string IrRecordFileName(uint32_t id) {
    char name[32];
    std::snprintf(name, sizeof name, "dev-%08x.txt", unsigned(id));
    return name;
}

bool IrParseRecordFileName(std::string_view fileName, uint32_t* id) {
    if (fileName.size() != 16 || fileName.substr(0, 4) != "dev-" || fileName.substr(12) != ".txt") return false;
    std::vector<uint8_t> bytes;
    if (!ParseHexText(fileName.substr(4, 8), &bytes)) return false;
    const uint32_t v = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
    // Upper-case digits name another file than the one IrRecordFileName gives.
    if (v == 0 || IrRecordFileName(v) != fileName) return false;
    *id = v;
    return true;
}

bool IrParseLsapServiceName(std::string_view name, int* lsap) {
    constexpr std::string_view kPrefix = "LSAP-SEL";
    return name.substr(0, kPrefix.size()) == kPrefix && ParseLsap(name.substr(kPrefix.size()), lsap);
}
