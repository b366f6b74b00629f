// Sharing from the browser: the e-mail options dialog, the infrared receive
// and send dialogs with their worker threads, and the entry points the
// browser's commands call with the selected files. The dialogs come from
// resources/sharing.rc, linked into the program. Win32 only.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Runs the e-mail options dialog. After Send (result 1) the buffers hold the
// recipients and the service name (256 characters each) and the references
// the size and format choices, and the settings section "Email" the same;
// Cancel or OK gives 0 and writes nothing.
INT_PTR RunMailOptions(HWND owner, wchar_t* recipients, int32_t* sizeChoice, int32_t* formatChoice, wchar_t* service);

// One infrared dialog's state: the dialog's user data, its worker's
// parameter and the transfer's callback context.
struct IrdaDialogState {
    HWND window = nullptr;
    std::atomic<int32_t> cancel{0};  // set by the main thread, read by the worker
    const wchar_t* folder = nullptr;
    std::vector<std::wstring> names;  // receive: the stored files' names
    const wchar_t* file = nullptr;   // send: the file's path
    wchar_t searchFormat[128] = {};  // send: the translated search text
    int sendError = 0;               // receive: the system's code when a response could not be sent
    HANDLE thread = nullptr;
};

// Runs the receive dialog until one connection's files arrived in `folder`
// (result 1, their names in `names`; also when the sender passed the limits
// of one exchange, which the user is told), the user cancelled or the
// exchange failed (0).
INT_PTR RunIrdaReceive(HWND owner, const wchar_t* folder, std::vector<std::wstring>* names);
// Runs the send dialog while folder + file is pushed; 1 when it was sent.
// Any other end (no device found, a failed transfer, Cancel) is told to the
// user in a message box over the dialog before it closes.
INT_PTR RunIrdaSend(HWND owner, const wchar_t* folder, const wchar_t* file);

// "Send by Email...": asks for the options, converts the pictures when the
// size or format choice asks for it (into "\Temp\trelmo_temporary_<n>.tmp",
// removed afterwards), and sends them in one message. A failure is shown to
// the user. 1 when sent, 0 when cancelled or failed.
int SendFilesByMail(HWND owner, const std::vector<std::wstring>& files);
// "Send via Infrared...": only for exactly one file, pushed by its full
// path. 1 when sent.
int SendFilesByInfrared(HWND owner, const std::vector<std::wstring>& files);
// "Receive via infrared here": receives one connection's files into
// `folder`, each under a new name; 1 with their names in `names` for the
// browser to add.
int ReceiveByInfrared(HWND owner, const wchar_t* folder, std::vector<std::wstring>* names);
