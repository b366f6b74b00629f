// E-mail sending through the messaging interface (platform/messaging_win.h):
// one message with the record's recipients, subject, body and attachments,
// created in the chosen store's drafts folder and submitted. Win32 only.
#pragma once

#include <windows.h>

#include "tools/mail.h"

// Sends the record's message through every store whose display name is the
// record's Service (ignoring case). Returns S_OK when at least one store
// took it; a failing call, an attachment file that cannot be read or a
// Service that names no store gives a failure code, and a message whose
// filling failed is not submitted. Each failing call is traced on the debug
// output. The user is told nothing here (see SendFilesByMail).
HRESULT MailSendFiles(const MailRecord* record);

// Fills the options dialog's list of message stores and selects the one
// named `saved` (ignoring case), else the first.
void MailFillServiceList(HWND comboBox, const wchar_t* saved);
