// IPTC templates: a named set of IPTC texts kept in the settings so that the
// same caption, credits, keywords or origin can go into many files. This is
// the template text's codec; the list dialog and the registry are
// iptctemplate_win.h.
//
// The text is a sequence of entries "<dataset>:<length>:<value bytes>:",
// lengths in bytes, so a value may hold ':'. For example the headline "Sea"
// and the keyword "sky" read "105:3:Sea:25:3:sky:".
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <string>

struct IptcRecord;

// Templates are built and parsed as 8-bit texts shorter than this.
constexpr size_t kIptcTemplateCapacity = 1024;

// The template text of the record: each present dataset of the template's
// fixed list once (keywords and supplemental categories once per item), in
// that order; an entry that would make the text reach kIptcTemplateCapacity
// is left out and later, shorter ones still go in.
std::string IptcTemplateEncode(const IptcRecord& record);

// Fills a zeroed record from a template text: texts of the template's
// datasets, keyword and supplemental category items appended to their lists,
// urgency and object cycle one character each; other datasets ignored. The
// parse never reads past the text: an entry whose length runs past the end,
// or whose numbers are not digits, ends it (that entry is dropped). 0 for an
// empty text, else 1.
int IptcTemplateDecode(const char* text, size_t length, IptcRecord* record);
