// The IPTC template parser on arbitrary texts (a hand-edited registry value
// is untrusted): it never reads past the text, and whatever record it makes
// encodes to a template that parses back to the same template.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "processing/iptc.h"
#include "tools/iptctemplate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    // An exact copy: any read past the end is seen by the sanitizer.
    const std::vector<char> text(data, data + size);
    IptcRecord record;
    std::memset(&record, 0, sizeof record);
    IptcTemplateDecode(text.data(), text.size(), &record);
    const std::string encoded = IptcTemplateEncode(record);
    if (encoded.size() >= kIptcTemplateCapacity) std::abort();

    IptcRecord again;
    std::memset(&again, 0, sizeof again);
    if (!encoded.empty() && IptcTemplateDecode(encoded.data(), encoded.size(), &again) != 1) std::abort();
    if (IptcTemplateEncode(again) != encoded) std::abort();
    IptcFree(&again);
    IptcFree(&record);
    return 0;
}
