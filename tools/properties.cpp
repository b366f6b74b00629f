#include "tools/properties.h"

#include <cwctype>

#include "imagelib/formats.h"
#include "imagelib/textutil.h"

PictureFacts DescribePicture(const ImageInfo& info) {
    PictureFacts facts;
    if (const char* name = GetFormatShortName(info.formatIndex))
        for (const char* p = name; *p; ++p) facts.type += wchar_t(std::towupper(wchar_t(static_cast<unsigned char>(*p))));
    facts.dimensions = std::to_wstring(info.width) + L" x " + std::to_wstring(info.height);
    if (info.planes > 1) facts.colours = L"16M";
    else facts.colours = std::to_wstring(info.bitsPerPlane >= 32 ? 0ull : 1ull << info.bitsPerPlane);
    facts.dpi = info.xResolution == 0 ? std::wstring(L"72 x 72")
                                      : std::to_wstring(info.xResolution) + L" x " + std::to_wstring(info.yResolution);
    if (info.comment) facts.comment = Utf8ToWide(info.comment);
    return facts;
}
