// File associations in HKEY_CLASSES_ROOT: the program's classes ("Pellaro.<ext>"
// with a description, "DefaultIcon" and "shell\open\command"), extensions
// pointed at them, and the extension's previous owner kept in the backup
// subkey "Trelmo.bak" and put back on removal.
//
// Win32 only.
#pragma once

#include <windows.h>

#include <string>

// The class name of an extension given without its dot: "Pellaro.<ext>".
std::wstring AssociationClassName(const wchar_t* extension);
// Writes the class key, its icon (the program, `iconIndex`) and its open
// command; the registry status of the last step.
LONG AssociationWriter(const wchar_t* className, int iconIndex, const wchar_t* description);
// Points the extension (with its dot) at the class, keeping another owner in
// the backup subkey; 1 when the extension now names the class.
int RegisterExtension(const wchar_t* extension, const wchar_t* className);
// Gives the extension back to its previous owner; with none, removes what
// RegisterExtension made (the value, and the key when nothing else is in
// it). Always 1.
int AssociationRemover(const wchar_t* extension, const wchar_t* className);
// 1 when the extension (without its dot) names the class and the class key
// exists.
int IsAssociated(const wchar_t* extension);
// The album association, made at every start.
void RegisterAlbumAssociation();
