// The IPTC editor: the IPTC texts of the selected pictures on a sheet of six
// pages (file, caption, credits, keywords, categories, origin), stepping
// through the selection; a changed file is offered for writing when the user
// leaves it or closes with OK. Entry point of the main window's command:
// RunIptcEditor.
#pragma once

#include <windows.h>

#include <cstdint>

struct SelectedFile;

int RunIptcEditor(HWND parent, const SelectedFile* files, uint32_t count);
