// The command line another copy hands over by copy-data: any bytes either
// give a text that ends where its terminating zero was and holds no zero, or
// are refused; the path the text names is a part of it without quotes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "shell/viewerlogic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text;
    if (CopyDataText(data, size, &text)) {
        if (text.size() * 2 + 2 != size || text.find(u'\0') != std::u16string::npos) std::abort();
        const std::wstring line(text.begin(), text.end());
        const std::wstring path = CommandLinePath(line);
        if (path.size() > line.size()) std::abort();
        if (!path.empty() && (path.front() == L'"' || line.find(path) == std::wstring::npos)) std::abort();
    } else if (size >= 2 && size % 2 == 0 && data[size - 1] == 0 && data[size - 2] == 0) {
        // Refused though terminated: only for a zero inside.
        bool inner = false;
        for (size_t i = 0; i + 2 < size; i += 2) inner |= data[i] == 0 && data[i + 1] == 0;
        if (!inner) std::abort();
    }
    return 0;
}
