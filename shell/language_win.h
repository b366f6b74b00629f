// Translated strings: every user-facing text is asked for by its key in the
// language file beside the program (see language.h), falling back to the
// built-in text of the resources. One file is open from start-up to shutdown.
//
// Win32 only.
#pragma once

#include <windows.h>

// Opens "<program folder>\<code>.lng"; 1 on success, else 0 with the language
// set to "en" (the built-in texts are used). Called at start-up; it also
// installs LngGetString as the window framework's text lookup.
int LngOpen(const char* code);
void LngClose();
// Lower-case two-letter code of the current language ("en" without a file).
const wchar_t* LngCurrentLanguage();
// 0 when `code` names the current language; else it becomes the current code
// (saved at exit and loaded at the next start) and 1 is returned.
int LngSetLanguage(const wchar_t* code);

// Makes `name` the section that LngSetItemText reads; returns its position.
size_t LngSelectSection(const char* name);
// Position of the section `name` without changing the current section.
size_t LngFindSection(const char* name);
// Looks `key` up from the current section's position.
int LngFindValue(const char* key, wchar_t* buffer, int capacity);
// Gives the dialog item the translation of `key`, when there is one.
void LngSetItemText(HWND dialog, int itemId, const char* key);
// The translation of `key` from the "String" section (returns 1), else the
// string resource `stringId` (returns its length, as LoadStringW).
int LngGetString(HINSTANCE instance, UINT stringId, const char* key, wchar_t* buffer, int capacity);
// As LngGetString, for a text that will be used as a printf format: a
// translation that TranslatedFormatUsable (shell/language.h) refuses is not
// used. Fill it with FormatWithNumber.
int LngGetFormat(HINSTANCE instance, UINT stringId, const char* key, wchar_t* buffer, int capacity);
// Translates the menu's items (by their built-in texts, in the "Menu"
// section) and the menu bar's button texts.
void LngTranslateMenu(HWND menuBar, HMENU menu);
// Fills the language choice: "en - English" and one item per language file
// beside the program; selects the current language.
void LngListLanguages(HWND comboBox);

// The folder that holds the program, with its trailing backslash.
void LngProgramFolder(wchar_t* buffer, int capacity);
