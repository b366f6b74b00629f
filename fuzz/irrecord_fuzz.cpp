// Infrared device records, as any process may leave them in the shared
// folder: a text that reads as a record writes back to the same record, file
// names are taken only in their exact form, and "LSAP-SEL<n>" service names
// only with plain digits naming a selector.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/irrecord.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

bool SameRecord(const IrDeviceRecord& a, const IrDeviceRecord& b) {
    if (a.pid != b.pid || a.name != b.name || a.host != b.host || a.lsap != b.lsap || a.port != b.port ||
        a.service != b.service || a.ias.size() != b.ias.size())
        return false;
    for (size_t i = 0; i < a.ias.size(); ++i)
        if (a.ias[i].className != b.ias[i].className || a.ias[i].attribute != b.ias[i].attribute ||
            a.ias[i].value != b.ias[i].value)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IrDeviceRecord record;
    if (IrParseDeviceRecord(text, &record)) {
        Check(record.lsap >= kIrLsapMin && record.lsap <= kIrLsapMax && record.port != 0);
        Check(!record.service.empty() && record.service.size() <= kIrServiceNameMax);
        IrDeviceRecord again;
        Check(IrParseDeviceRecord(IrFormatDeviceRecord(record), &again) && SameRecord(record, again));
    }
    uint32_t id = 0;
    if (IrParseRecordFileName(text, &id)) Check(id != 0 && IrRecordFileName(id) == text);
    int lsap = 0;
    if (IrParseLsapServiceName(text, &lsap)) {
        Check(lsap >= kIrLsapMin && lsap <= kIrLsapMax && text.substr(0, 8) == "LSAP-SEL");
        Check(text.size() > 8 && text.find_first_not_of("0123456789", 8) == std::string_view::npos &&
              std::stoul(std::string(text.substr(8))) == unsigned(lsap));
    }
    return 0;
}
