#include "app/commandlogic.h"

#include <cwctype>
#include <vector>

std::wstring FillPattern(const std::wstring& format, const std::wstring* texts, int textCount, int number) {
    std::wstring out;
    int next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != L'%' || i + 1 >= format.size()) {
            out += format[i];
            continue;
        }
        const wchar_t directive = format[i + 1];
        if (directive == L's') {
            if (next < textCount) out += texts[next++];
            ++i;
        } else if (directive == L'd') {
            out += std::to_wstring(number);
            ++i;
        } else if (directive == L'%') {
            out += L'%';
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

std::wstring MakeCopyName(const std::wstring& folder, const std::wstring& name, const std::wstring& copyOf,
                          const std::wstring& copyN, const PathExists& exists) {
    std::wstring target = folder + name;
    if (!exists(target)) return target;
    const std::wstring texts[] = {folder, name};
    target = FillPattern(copyOf, texts, 2, 0);
    if (!exists(target)) return target;
    for (int n = 2; n <= 998; ++n) {
        target = FillPattern(copyN, texts, 2, n);
        if (!exists(target)) break;
    }
    return target;
}

std::wstring ProposeNewFolderName(const std::wstring& folder, const std::wstring& base, const PathExists& exists) {
    if (!exists(folder + base)) return base;
    for (int n = 1; n <= 99; ++n) {
        std::wstring name = base + L" (" + std::to_wstring(n) + L")";
        if (!exists(folder + name)) return name;
    }
    return base;
}

std::wstring ParentFolder(const std::wstring& folder) {
    std::wstring path = folder;
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    const size_t last = path.rfind(L'\\');
    if (last == std::wstring::npos) return folder;
    return path.substr(0, last + 1);
}

bool IsAcceptableFavoriteLabel(const std::wstring& label) {
    return !label.empty() && label.size() <= 63 && label.find(L'\\') == std::wstring::npos;
}

std::wstring NameOfPath(const std::wstring& path) {
    const size_t last = path.rfind(L'\\');
    return last == std::wstring::npos ? path : path.substr(last + 1);
}

bool IsCardPictureName(const std::wstring& name) {
    static const wchar_t* const kExtensions[] = {
        L"bmp", L"tif", L"tiff", L"jpg", L"jpeg", L"jif", L"png", L"tga", L"gif", L"2bp", L"pcx", L"psd", L"pbm", L"pgm",
        L"ppm", L"pnm", L"crw", L"cr2", L"nef", L"raf", L"mrw", L"orf", L"pef", L"sr2", L"srf", L"x3f", L"dcr", L"dng",
        L"alb"};
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos) return false;
    std::wstring extension = name.substr(dot + 1);
    for (wchar_t& c : extension) c = wchar_t(std::towlower(wint_t(c)));
    for (const wchar_t* known : kExtensions) {
        if (extension == known) return true;
    }
    return false;
}

int32_t SortAfterCommand(int32_t sort, int32_t key, int32_t descending) {
    int32_t next = sort;
    if (key >= 0) next = (next & kSortDescendingBit) | key;
    if (descending == 0) next &= ~kSortDescendingBit;
    if (descending == 1) next |= kSortDescendingBit;
    return next;
}

bool DeleteFolderTreeWith(const std::wstring& folder, const TreeRemoval& system) {
    if (folder.empty()) return false;
    const wchar_t separator = folder.back();
    std::vector<FolderItem> items;
    if (!system.list(folder, nullptr, &items)) return false;
    for (const FolderItem& item : items) {
        if (item.name == L"." || item.name == L"..") continue;
        const std::wstring path = folder + item.name;
        const bool isFolder = (item.attributes & kAttributeFolder) != 0;
        const bool done = (item.attributes & kAttributeLink) ? system.removeLink(path, isFolder)
                          : isFolder                         ? DeleteFolderTreeWith(path + separator, system)
                                                             : system.removeFile(path);
        if (!done) return false;
    }
    return system.removeFolder(folder.substr(0, folder.size() - 1));
}
