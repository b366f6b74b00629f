// The folder tree: the device's folders under one root item, filled lazily.
// The main window's tree shows the folder chosen in it in the file list; the
// same functions run the trees of the choose-folder dialog and of the tools'
// output folder page.
//
// Win32 only.
#pragma once

#include <windows.h>
#include <commctrl.h>

// Told the folder (a path from the device's root, ending in '\') that the user
// selected in a tree made with TreeCreate.
using TreeFolderChosen = void (*)(const wchar_t* folder);

// Makes a tree control with the root item; `chosen` (may be null) hears of
// each folder selected in it.
HWND TreeCreate(HWND parent, int x, int y, int width, int height, UINT id, TreeFolderChosen chosen);
// Prepares a tree control of a dialog: the icons and the root item; nothing
// is told of its selection.
void TreeSetOwner(HWND tree);
void TreeSelectPath(HWND tree, const wchar_t* path);
// The item's path from the device's root, ending in '\' ("\" for the root);
// 0 when it does not fit in `capacity`.
int TreeGetItemPath(HWND tree, HTREEITEM item, wchar_t* path, int capacity);
void TreeGetSelectedPath(HWND tree, wchar_t* path, int capacity);
// The tree's notifications (expanding, display information, selection), for
// the window or dialog that holds it.
LRESULT TreeOnNotify(HWND window, NMHDR* header);
void TreeInsertFolder(HWND tree, HTREEITEM parent, const wchar_t* name);
void TreeRenameItem(HWND tree, HTREEITEM item, const wchar_t* text);
void TreeDeleteItem(HWND tree, HTREEITEM item);
// A folder made or removed on disk (full path, as the folder watch reports
// it): its item is added under its parent, or taken away, where the tree
// holds the parent. The selected folder and those above it are never taken away.
void TreeFolderCreated(HWND tree, const wchar_t* path);
void TreeFolderRemoved(HWND tree, const wchar_t* path);
