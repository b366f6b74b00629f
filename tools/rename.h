// Batch rename: new names made of a base name, a running number of a fixed
// number of digits and an extension ("Holiday001.jpg", "Holiday002.jpg").
//
// Portable: no platform headers. The dialog is rename_win.h.
#pragma once

#include <cstddef>
#include <cstdint>

struct SelectedFile;

constexpr uint32_t kRenameMinDigits = 1;
constexpr uint32_t kRenameMaxDigits = 20;
constexpr size_t kRenameTextCapacity = 260;

struct RenamePlan {
    wchar_t base[kRenameTextCapacity];
    wchar_t extension[kRenameTextCapacity];
    uint32_t start;
    uint32_t digits;  // brought into kRenameMinDigits..kRenameMaxDigits
};

// The base name and the extension a file name offers: the parts before and
// after its last '.'; a name without '.' is all base and no extension.
void SplitRenameName(const wchar_t* name, wchar_t* base, wchar_t* extension, size_t capacity);

// A base name a user may give (not empty, no path separator, none of the
// characters file names may not hold), and an extension that is empty or
// such a name, so that every new name stays a plain name in the file's own
// folder.
bool RenameBaseIsValid(const wchar_t* base);
bool RenameExtensionIsValid(const wchar_t* extension);

// "<base><number, zero-padded to the digits>.<extension>", without the dot
// when there is no extension; the number is never cut. False when it would
// not fit `capacity` or is no name a user may give (an invalid base or
// extension).
bool RenamedFileName(const RenamePlan& plan, uint32_t number, wchar_t* name, size_t capacity);

// Renames the files in selection order: file i gets number start + i in its
// own folder. `move` (0 done) never replaces an existing file; a failed move
// leaves that file as it was and its number unused. `renamed` (may be null)
// hears of each success with the selection index and the new path. Returns
// the number of files renamed, 0 for an invalid base name or extension.
uint32_t RenameSelection(const SelectedFile* files, uint32_t count, const RenamePlan& plan,
                         int (*move)(const wchar_t* oldPath, const wchar_t* newPath),
                         void (*renamed)(void* user, uint32_t index, const wchar_t* newPath), void* user);
