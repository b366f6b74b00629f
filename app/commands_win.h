// The main window's commands for files, folders, selection, zoom, sort and
// list options (commands_win.cpp) and the dialogs they open
// (commanddialogs_win.cpp). Each handler has the command-table form and
// returns 0; mainwindow_win.cpp puts them in its table.
//
// Win32 only.
#pragma once

#include <windows.h>

#include <string>

// --- Commands ---------------------------------------------------------------

LRESULT OnAboutCommand(HWND window, UINT id, UINT code, HWND control);
// Home folder, Up, Browse Flash card, \My Documents.
LRESULT OnGoToFolder(HWND window, UINT id, UINT code, HWND control);
// An entry of the "Go to" submenu: the ancestor it names.
LRESULT OnGoToLevel(HWND window, UINT id, UINT code, HWND control);
LRESULT OnNewFolder(HWND window, UINT id, UINT code, HWND control);
LRESULT OnDeleteFolder(HWND window, UINT id, UINT code, HWND control);
LRESULT OnRenameFolder(HWND window, UINT id, UINT code, HWND control);
LRESULT OnRenameFile(HWND window, UINT id, UINT code, HWND control);
LRESULT OnDeleteFiles(HWND window, UINT id, UINT code, HWND control);
// Cut and Copy.
LRESULT OnCutCopy(HWND window, UINT id, UINT code, HWND control);
LRESULT OnPaste(HWND window, UINT id, UINT code, HWND control);
// All, None, Invert.
LRESULT OnSelect(HWND window, UINT id, UINT code, HWND control);
LRESULT OnMultipleSelection(HWND window, UINT id, UINT code, HWND control);
// The fixed zooms, Zoom in and Zoom out.
LRESULT OnZoom(HWND window, UINT id, UINT code, HWND control);
// Fill the screen, Fit to window (all), Fit to window (large only).
LRESULT OnFit(HWND window, UINT id, UINT code, HWND control);
LRESULT OnLockZoom(HWND window, UINT id, UINT code, HWND control);
LRESULT OnRotateAuto(HWND window, UINT id, UINT code, HWND control);
// Sort keys and directions.
LRESULT OnSort(HWND window, UINT id, UINT code, HWND control);
// Crop, Resize, Adjust, Convert, Rotate, Sharpen/Smooth, IPTC edit: the tool
// on the selection.
LRESULT OnSelectionTool(HWND window, UINT id, UINT code, HWND control);
// "Create Album..." and "Create EXE slideshow...": the album wizard over the
// shown list with its selection.
LRESULT OnAlbumWizard(HWND window, UINT id, UINT code, HWND control);
// "Information...": the properties sheet over the folder from the selected
// picture, or over the selection when several are selected.
LRESULT OnInformation(HWND window, UINT id, UINT code, HWND control);
// "Capture...": the capture sheet, then the capture timer armed for its delay.
LRESULT OnCapture(HWND window, UINT id, UINT code, HWND control);
// The capture timer fired: the screen into the shown folder (the home folder
// when none), told to the user, and the list refreshed.
void TakeDelayedCapture(HWND window);
LRESULT OnBatchRename(HWND window, UINT id, UINT code, HWND control);
LRESULT OnSendByMail(HWND window, UINT id, UINT code, HWND control);
// Only with exactly one picture selected.
LRESULT OnSendByInfrared(HWND window, UINT id, UINT code, HWND control);
// One file received into the shown folder and added to the list.
LRESULT OnReceiveInfrared(HWND window, UINT id, UINT code, HWND control);
// The adjust bar on the shown picture; confirmed, the picture is loaded again
// with its metadata, adjusted and written over its file (a picture of a
// format that cannot be written back becomes a JPEG beside it).
LRESULT OnAdjustSave(HWND window, UINT id, UINT code, HWND control);
LRESULT OnShowLabel(HWND window, UINT id, UINT code, HWND control);
LRESULT OnRecursive(HWND window, UINT id, UINT code, HWND control);

// The first storage card's folder that holds pictures (see FindCardPictures).
std::wstring FindCardPictures();
// Whether the folder (with its trailing "\") or one of its subfolders holds
// pictures; `found` becomes the first such folder, depth first.
bool FolderHoldsPictures(const std::wstring& folder, std::wstring* found);
// Deletes the folder (with its trailing "\") and everything in it; links in it
// are deleted themselves, never what they point to.
bool DeleteFolderTree(const std::wstring& folder);

// --- Dialogs ----------------------------------------------------------------

// One page of a shell property sheet: its dialog, its tab title, extra
// PSP_ flags and the value its WM_INITDIALOG finds in the page's lParam.
struct ShellSheetPage {
    UINT dialog;
    std::wstring title;
    DWORD flags;
    LPARAM user;
};
// Runs the pages, all with `procedure`, as a full-screen sheet without a
// caption or an apply button; the sheet's result.
INT_PTR RunShellSheet(HWND parent, const ShellSheetPage* pages, int count, DLGPROC procedure);

// "Search...": the search dialog for the current folder.
LRESULT OnSearchCommand(HWND window, UINT id, UINT code, HWND control);
INT_PTR SearchDialog(HWND parent, const std::wstring& folder);

INT_PTR ModalAboutBox(HWND parent);
// 1 with the name in `name` when "Create" was tapped and the name may be
// used, else 0.
int NewFolderDialog(HWND parent, const std::wstring& folder, std::wstring* name);
// `path` is the file's full path; 1 with the new name (extension kept) when
// confirmed, else 0.
int RenameFileDialog(HWND parent, const std::wstring& path, std::wstring* newName);
// `folder` is the folder's path with its trailing "\"; 1 with the new name
// and the new full path (without trailing "\") when confirmed, else 0.
int RenameFolderDialog(HWND parent, const std::wstring& folder, std::wstring* newName, std::wstring* newPath);
