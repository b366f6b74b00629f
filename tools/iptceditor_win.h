// The IPTC editor: the IPTC texts of the selected pictures on a sheet of six
// pages (file, caption, credits, keywords, categories, origin), stepping
// through the selection; a changed file is offered for writing when the user
// leaves it or closes with OK. Entry point of the main window's command:
// RunIptcEditor.
#pragma once

#include <windows.h>

#include <cstdint>

#include "tools/output.h"

struct SelectedFile;

// Writes keep every dataset of the file the pages do not show. `rewrites`
// (may be null) hears of each file written.
int RunIptcEditor(HWND parent, const SelectedFile* files, uint32_t count, const RewriteListener* rewrites = nullptr);
