// The tools' Win32 side that needs no sheet: the stored output choices, the
// shared save with its question and messages, the JPEG quality dialog and
// the batch rename dialog and command. Entry points for the main window's
// commands: AskJpegQuality, RunBatchRenameCommand.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "imagelib/bitmap.h"
#include "tools/output.h"
#include "tools/rename.h"

struct SelectedFile;

// Settings of the output pages (sections "Convert" and "Folder").
OutputChoices ReadStoredOutputChoices();
void StoreOutputChoices(const OutputChoices& choices);
// Prefix and suffix from the settings; no folder (the source's own).
OutputFolder ReadStoredOutputFolder();
void StoreOutputAffixes(const OutputFolder& folder);

// The shared save with the stored choices: asks before replacing a file
// (IDS_EXISTS), reports a failure (IDS_PROBLEM_SAVING) and, with a done
// message id other than -1, the done message formatted with the source and
// output names. Returns 1 in every case (each outcome was told already).
int SaveInChosenFormat(HWND owner, const OutputOptions& options, const OutputFolder& folder, int doneId,
                       const char* doneKey, const wchar_t* source, Bitmap* bitmap);
// The same, answering what became of the picture; `listener` (may be null)
// hears of an existing file replaced.
SaveOutcome SaveInChosenFormatOutcome(HWND owner, const OutputOptions& options, const OutputFolder& folder,
                                      int doneId, const char* doneKey, const wchar_t* source, Bitmap* bitmap,
                                      const RewriteListener* listener = nullptr);
// "File exists already, do you want to overwrite it?" (IDS_EXISTS) with OK
// and Cancel: true for OK.
bool AskToOverwrite(HWND owner);
// "Problem to save the file!" (IDS_PROBLEM_SAVING) with the stop icon: what
// every tool shows when a picture could not be written.
void ShowSaveProblem(HWND owner);

// Quality of each step of the JPEG quality dialog.
int JpegQualityOfStep(int index);
// Dialog 147: 1 with the chosen step (0..3) in *index, 0 with -1 on Cancel.
// The step shown first is the stored "JpegQualityStep" (default 2); the
// dialog stores nothing.
int AskJpegQuality(HWND parent, int* index);

// A numbered list's entry that shows a translated name (e.g. "1 (Low)").
struct LevelName {
    int level;
    UINT stringId;
    const char* key;
};
// Fills the combo box with the numbers first..last in order: a number named
// in `names` shows its translation (DlgComboAddString), any other its digits.
void FillLevelList(HWND dialog, int comboId, int first, int last, const LevelName* names, size_t count);

// Moves `window` so that it is centred on `reference` (the desktop when
// null), keeping its size, with neither coordinate below 0.
void CentreWindow(HWND reference, HWND window, BOOL repaint);

// Dialog 150: the base name, extension, start and digits of a batch rename,
// from the first file's name and the settings ("Rename": "Name", "Start",
// "Digit"). 1 when the user pressed Rename (the choices are stored), else 0.
int RunBatchRename(HWND parent, const wchar_t* firstName, RenamePlan* plan);

// The main window's batch rename command on the browser's selection: runs
// the dialog and renames the files (never over an existing file); `renamed`
// (may be null) hears of each file renamed, to update its entry and item.
// Returns the number of files renamed.
uint32_t RunBatchRenameCommand(HWND parent, const SelectedFile* files, uint32_t count,
                               void (*renamed)(void* user, uint32_t index, const wchar_t* newPath), void* user);
