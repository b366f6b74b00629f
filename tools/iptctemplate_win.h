// IPTC templates in the settings (section "IPTC", one text value per
// template) and the template list dialog the IPTC editor opens to save its
// texts as a template or fill its pages from one.
#pragma once

#include <windows.h>

struct IptcRecord;

// Builds the record's template text and stores it under the name.
void IptcTemplateWrite(const IptcRecord& record, const wchar_t* name);
// Fills a zeroed record from the stored template; 1 when it was not empty.
int IptcTemplateRead(const wchar_t* name, IptcRecord* record);
// Fills the list box with the stored templates' names.
void IptcTemplateList(HWND dialog, int listId);
void IptcTemplateDelete(const wchar_t* name);

enum IptcTemplateMode : int { kIptcTemplateLoad = 0, kIptcTemplateSave = 1 };
// Dialog 184: 1 when a template was saved from or loaded into the record.
// A name already in the list cannot be saved (no template is written over).
int RunIptcTemplateList(HWND parent, IptcRecord* record, int mode);
