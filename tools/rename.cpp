#include "tools/rename.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

#include "shell/filelist.h"
#include "tools/output.h"

void SplitRenameName(const wchar_t* name, wchar_t* base, wchar_t* extension, size_t capacity) {
    const std::wstring text(name);
    const size_t dot = text.rfind(L'.');
    const std::wstring stem = dot == std::wstring::npos ? text : text.substr(0, dot);
    const std::wstring ext = dot == std::wstring::npos ? std::wstring() : text.substr(dot + 1);
    const size_t stemLength = std::min(stem.size(), capacity - 1);
    const size_t extLength = std::min(ext.size(), capacity - 1);
    std::wmemcpy(base, stem.c_str(), stemLength);
    base[stemLength] = 0;
    std::wmemcpy(extension, ext.c_str(), extLength);
    extension[extLength] = 0;
}

bool RenameBaseIsValid(const wchar_t* base) { return IsAcceptableName(base); }

bool RenameExtensionIsValid(const wchar_t* extension) { return !extension[0] || IsAcceptableName(extension); }

bool RenamedFileName(const RenamePlan& plan, uint32_t number, wchar_t* name, size_t capacity) {
    if (!RenameBaseIsValid(plan.base) || !RenameExtensionIsValid(plan.extension)) return false;
    const uint32_t digits = std::clamp(plan.digits, kRenameMinDigits, kRenameMaxDigits);
    wchar_t numberText[32];
    std::swprintf(numberText, 32, L"%0*u", int(digits), number);
    // No extension, no dot: Windows would drop a trailing one.
    std::wstring result = std::wstring(plan.base) + numberText;
    if (*plan.extension) result += std::wstring(L".") + plan.extension;
    if (result.size() >= capacity || !IsAcceptableName(result)) return false;
    std::wmemcpy(name, result.c_str(), result.size() + 1);
    return true;
}

uint32_t RenameSelection(const SelectedFile* files, uint32_t count, const RenamePlan& plan,
                         int (*move)(const wchar_t* oldPath, const wchar_t* newPath),
                         void (*renamed)(void* user, uint32_t index, const wchar_t* newPath), void* user) {
    if (!RenameBaseIsValid(plan.base) || !RenameExtensionIsValid(plan.extension)) return 0;
    uint32_t done = 0;
    for (uint32_t i = 0; i < count; ++i) {
        wchar_t name[kRenameTextCapacity];
        if (!RenamedFileName(plan, plan.start + i, name, kRenameTextCapacity)) continue;
        const std::wstring path = std::wstring(files[i].path, FileNameOffset(files[i].path)) + name;
        if (path.size() >= kOutputPathCapacity || move(files[i].path, path.c_str()) != 0) continue;
        ++done;
        if (renamed) renamed(user, i, path.c_str());
    }
    return done;
}
