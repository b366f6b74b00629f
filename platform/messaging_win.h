// The handheld's messaging interface, standing in for its messaging library
// on desktop Win32: a session, the message-stores table, stores, their
// drafts folder, messages, attachments and property streams, as the
// platform's MAPI interfaces declare them, backed by the folder stores of
// mailstore.h. SubmitMessage renders the message into the store's Outbox.
//
// Only what sending a message needs is answered; every other method returns
// MAPI_E_NO_SUPPORT. Texts are UTF-16 (MAPI_UNICODE). Win32 only.
#pragma once

#include <windows.h>
#include <mapidefs.h>
#include <mapix.h>

// The store property that holds the entry identifier of the folder in which
// new messages are made.
constexpr ULONG kPropDraftsEntryId = 0x81040102;

// Logs on to the messaging subsystem: a new session, or an error when no
// store folder can be read. The session's Logoff ends it; Release frees it.
HRESULT MessagingLogon(IMAPISession** session);
// Frees what the interface's calls allocated (property arrays, rows).
void MessagingFreeBuffer(void* buffer);
void MessagingFreeRows(SRowSet* rows);
