// The sharing dialogs and entry points as users meet them: dialogs driven by
// the modal test driver, messages in the store's Outbox, files received and
// sent over the infrared stand-in by a second copy in this process.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>

#include "platform/handheld.h"
#include "platform/irsock.h"
#include "platform/mailstore.h"
#include "resources/sharing.rh"
#include "shell/language_win.h"
#include "shell/settings_win.h"
#include "imagelib/save.h"
#include "tests/sharing/obexpeer.h"
#include "tests/support/languagefile.h"
#include "tests/support/missingoracle.h"
#include "tests/support/modaldriver.h"
#include "tests/support/pictures.h"
#include "tests/support/removetree_win.h"
#include "tests/support/testfiles.h"
#include "tools/irda.h"
#include "tools/sharing_win.h"

using namespace modaltest;
using namespace testing_support;

namespace {

const wchar_t kSettingsRoot[] = L"Software\\TrelmoTests\\Sharing";

std::string ReadText(const std::wstring& path) {
    const auto bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::wstring> OutboxFiles(const MailStoreInfo& store) {
    std::vector<std::wstring> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fs::path(store.folder + L"Outbox"), error))
        if (entry.path().extension() == ".eml") files.push_back(entry.path().wstring());
    return files;
}

// Runs the message loop for a while, so posted messages arrive.
void Pump(DWORD ms) {
    const DWORD start = GetTickCount();
    MSG msg;
    while (GetTickCount() - start < ms) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    }
}

class SharingWin : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsRoot);
        RegSetSettingsRoot(kSettingsRoot);
        MailStoreSetRoot(stores_.path().wstring());
        IrSetRegistryFolder((devices_.path() / "devices").u8string());
    }
    void TearDown() override {
        RegSetSettingsRoot(L"Software\\Trelmo");
        RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsRoot);
        MailStoreSetRoot(L"");
        IrSetRegistryFolder("");
    }
    ScratchDir stores_;
    ScratchDir devices_;
    ScratchDir files_;
};

}  // namespace

TEST_F(SharingWin, EveryDialogFitsTheWorkArea) {
    const RECT work = HandheldWorkArea();
    auto check = [&](HWND dialog) {
        RECT r;
        GetWindowRect(dialog, &r);
        EXPECT_GE(r.left, work.left);
        EXPECT_GE(r.top, work.top);
        EXPECT_LE(r.right, work.right);
        EXPECT_LE(r.bottom, work.bottom);
        for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            RECT cr;
            GetWindowRect(c, &cr);
            EXPECT_LE(cr.right, r.right) << GetDlgCtrlID(c);
            EXPECT_LE(cr.bottom, r.bottom) << GetDlgCtrlID(c);
        }
    };
    ModalDriver driver;
    driver.OnDialog([&](HWND d) {
        check(d);
        Click(d, IDCANCEL);
    });
    wchar_t to[256] = {}, service[256] = {};
    int32_t size = 0, format = 0;
    EXPECT_EQ(RunMailOptions(nullptr, to, &size, &format, service), 0);
    for (bool receive : {true, false}) {
        driver.OnDialog([&](HWND d) {
            check(d);
            Click(d, IDCANCEL);
        });
        if (!receive) {
            // The send tells that it was cancelled, in a box that fits too.
            driver.OnDialog([&](HWND box) {
                check(box);
                Click(box, IDOK);
            });
        }
        const std::wstring file = files_.File("none.jpg");
        std::vector<std::wstring> names;
        EXPECT_EQ(receive ? RunIrdaReceive(nullptr, L"", &names) : RunIrdaSend(nullptr, L"", file.c_str()), 0);
    }
}

TEST_F(SharingWin, MailOptionsOfferTheChoicesAndStoreThemOnSend) {
    MailStoreInfo first, second;
    ASSERT_EQ(MailStoreCreate(L"ActiveSync", "me@device.example", &first), 0);
    ASSERT_EQ(MailStoreCreate(L"Work", "work@office.example", &second), 0);
    RegWriteText(L"Email", L"services", L"work");
    RegWriteDword(L"Email", L"size", 3);
    ModalDriver driver;
    driver.OnDialog([&](HWND d) {
        EXPECT_EQ(ComboItems(d, IDC_EMAILOPT_SIZE),
                  (std::vector<std::wstring>{L"Original size", L"75%", L"50%", L"25%", L"10%"}));
        EXPECT_EQ(ComboItems(d, IDC_EMAILOPT_FORMAT),
                  (std::vector<std::wstring>{L"Original format", L"PNG", L"JPEG (High quality)",
                                             L"JPEG (Normal quality)", L"JPEG (Low quality)", L"GIF"}));
        EXPECT_EQ(ComboItems(d, IDC_EMAILOPT_STORE), (std::vector<std::wstring>{L"ActiveSync", L"Work"}));
        EXPECT_EQ(SendDlgItemMessageW(d, IDC_EMAILOPT_STORE, CB_GETCURSEL, 0, 0), 1);  // saved "work"
        EXPECT_EQ(SendDlgItemMessageW(d, IDC_EMAILOPT_SIZE, CB_GETCURSEL, 0, 0), 3);
        SetItemText(d, IDC_EMAILOPT_TO, std::wstring(300, L'a').c_str());
        SelectComboItem(d, IDC_EMAILOPT_FORMAT, 2);
        SelectComboItem(d, IDC_EMAILOPT_STORE, 0);
        Click(d, IDC_EMAILOPT_SEND);
    });
    wchar_t to[256] = {}, service[256] = {};
    int32_t size = -1, format = -1;
    EXPECT_EQ(RunMailOptions(nullptr, to, &size, &format, service), 1);
    EXPECT_EQ(std::wstring(to), std::wstring(255, L'a'));
    EXPECT_EQ(size, 3);
    EXPECT_EQ(format, 2);
    EXPECT_STREQ(service, L"ActiveSync");
    wchar_t saved[260];
    RegReadText(L"Email", L"services", L"", saved, 260);
    EXPECT_STREQ(saved, L"ActiveSync");
    EXPECT_EQ(RegReadSettingDefault(L"Email", L"format", 9), 2u);

    // Cancel writes nothing; an unknown saved store selects the first.
    RegWriteText(L"Email", L"services", L"gone");
    driver.OnDialog([&](HWND d) {
        EXPECT_EQ(SendDlgItemMessageW(d, IDC_EMAILOPT_STORE, CB_GETCURSEL, 0, 0), 0);
        SelectComboItem(d, IDC_EMAILOPT_FORMAT, 5);
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(RunMailOptions(nullptr, to, &size, &format, service), 0);
    EXPECT_EQ(RegReadSettingDefault(L"Email", L"format", 9), 2u);
}

TEST_F(SharingWin, SendByMailPutsOneMessageInTheChosenStoresOutbox) {
    MailStoreInfo first, second;
    ASSERT_EQ(MailStoreCreate(L"ActiveSync", "me@device.example", &first), 0);
    ASSERT_EQ(MailStoreCreate(L"Work", "work@office.example", &second), 0);
    const std::wstring a = files_.File("a.jpg"), b = files_.File("b.png");
    WriteBytes(a, std::vector<uint8_t>(3000, 0x41));
    WriteBytes(b, {1, 2, 3});
    ModalDriver driver;
    driver.OnDialog([&](HWND d) {
        SetItemText(d, IDC_EMAILOPT_TO, L"x@one.example; ;y@two.example");
        SelectComboItem(d, IDC_EMAILOPT_SIZE, 0);
        SelectComboItem(d, IDC_EMAILOPT_FORMAT, 0);
        SelectComboItem(d, IDC_EMAILOPT_STORE, 1);
        Click(d, IDC_EMAILOPT_SEND);
    });
    EXPECT_EQ(SendFilesByMail(nullptr, {a, b}), 1);
    EXPECT_TRUE(OutboxFiles(first).empty());
    const auto sent = OutboxFiles(second);
    ASSERT_EQ(sent.size(), 1u);
    const std::string message = ReadText(sent[0]);
    EXPECT_NE(message.find("From: work@office.example\r\n"), std::string::npos);
    EXPECT_NE(message.find("To: x@one.example,\r\n y@two.example\r\n"), std::string::npos);
    EXPECT_NE(message.find("Subject: Receipt of Photo(s) from Trelmo\r\n"), std::string::npos);
    EXPECT_NE(message.find("filename=\"a.jpg\""), std::string::npos);
    EXPECT_NE(message.find("filename=\"b.png\""), std::string::npos);
    EXPECT_NE(message.find("AQID\r\n"), std::string::npos);  // b.png's three bytes
}

// The GIF choice: a true-colour picture of more than 256 colours goes out as
// a GIF under its own name with the GIF extension.
TEST_F(SharingWin, TheGifChoiceAttachesAPaletteGif) {
    MailStoreInfo store;
    ASSERT_EQ(MailStoreCreate(L"ActiveSync", "me@device.example", &store), 0);
    EnsureFormatRegistry();
    OwnedBitmap picture;
    ASSERT_EQ(AllocBitmap(picture.get(), kPixelRGB, 4, 40, 30), 1);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            uint8_t* p = picture->pixels + size_t(y) * picture->bytesPerRow + size_t(x) * 3;
            p[0] = uint8_t(x * 6), p[1] = uint8_t(y * 8), p[2] = uint8_t((x + y) * 3);
        }
    const std::wstring source = files_.File("gradient.png");
    SaveOptions save;
    InitSaveOptions(&save);
    save.formatIndex = kFormatPng;
    ASSERT_EQ(SavePictureToFile(source.c_str(), picture.get(), &save), 0);
    ModalDriver driver;
    driver.OnDialog([&](HWND d) {
        SetItemText(d, IDC_EMAILOPT_TO, L"x@one.example");
        SelectComboItem(d, IDC_EMAILOPT_SIZE, 0);
        SelectComboItem(d, IDC_EMAILOPT_FORMAT, 5);
        Click(d, IDC_EMAILOPT_SEND);
    });
    EXPECT_EQ(SendFilesByMail(nullptr, {source}), 1);
    const auto sent = OutboxFiles(store);
    ASSERT_EQ(sent.size(), 1u);
    const std::string message = ReadText(sent[0]);
    const size_t name = message.find("filename=\"gradient.gif\"");
    ASSERT_NE(name, std::string::npos);
    EXPECT_NE(message.find("\r\n\r\nR0lGOD", name), std::string::npos);  // the bytes begin "GIF8"
}

// A size reduction in the picture's own format, on a device whose root has
// no "\\Temp" yet: the folder is made for the converted copies, which are
// gone afterwards; a picture no writer takes goes out as a JPEG. A picture
// that cannot be read is named in the message, and nothing is sent.
TEST_F(SharingWin, ConvertedSendsMakeTheirTempFolderAndNameAnUnreadablePicture) {
    MailStoreInfo store;
    ASSERT_EQ(MailStoreCreate(L"ActiveSync", "me@device.example", &store), 0);
    const std::wstring ppm = files_.File("raw.ppm"), broken = files_.File("broken.jpg");
    std::vector<uint8_t> bytes = {'P', '6', ' ', '8', ' ', '6', ' ', '2', '5', '5', '\n'};
    for (int i = 0; i < 8 * 6; ++i) bytes.insert(bytes.end(), {uint8_t(i * 5), 90, uint8_t(200 - i)});
    WriteBytes(ppm, bytes);
    WriteBytes(broken, {0xFF, 0xD8, 0xFF});
    // Another drive's root stands for a device root without the folder.
    wchar_t kept[MAX_PATH] = L"";
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, kept), 0u);
    RemoveFolderTree(L"C:\\Temp\\");
    ASSERT_EQ(GetFileAttributesW(L"C:\\Temp"), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\"));
    auto options = [](HWND d) {
        SetItemText(d, IDC_EMAILOPT_TO, L"x@one.example");
        SelectComboItem(d, IDC_EMAILOPT_SIZE, 2);
        SelectComboItem(d, IDC_EMAILOPT_FORMAT, 0);
        Click(d, IDC_EMAILOPT_SEND);
    };
    int sent = -1, refused = -1;
    std::wstring boxText;
    {
        ModalDriver driver;
        driver.OnDialog(options);
        sent = SendFilesByMail(nullptr, {ppm});
        driver.OnDialog(options);
        driver.OnDialog([&](HWND box) {
            boxText = ItemText(box, 0xFFFF);
            Click(box, IDOK);
        });
        refused = SendFilesByMail(nullptr, {ppm, broken});
    }
    const DWORD temp = GetFileAttributesW(L"\\Temp");
    const bool empty = fs::is_empty(fs::path(L"C:\\Temp"));
    SetCurrentDirectoryW(kept);
    RemoveFolderTree(L"C:\\Temp\\");
    EXPECT_EQ(sent, 1);
    ASSERT_NE(temp, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(temp & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(empty) << "the converted copies are deleted";
    const auto messages = OutboxFiles(store);
    ASSERT_EQ(messages.size(), 1u);
    const std::string message = ReadText(messages[0]);
    const size_t name = message.find("filename=\"raw.jpg\"");
    ASSERT_NE(name, std::string::npos);
    EXPECT_NE(message.find("\r\n\r\n/9j/", name), std::string::npos);  // the bytes begin FF D8 FF
    EXPECT_EQ(refused, 0);
    EXPECT_NE(boxText.find(L"broken.jpg"), std::wstring::npos) << boxText;
}

TEST_F(SharingWin, FailedSendsAreShownAndNothingHalfIsSubmitted) {
    MailStoreInfo store;
    ASSERT_EQ(MailStoreCreate(L"ActiveSync", "me@device.example", &store), 0);
    const std::wstring a = files_.File("a.jpg");
    WriteBytes(a, {1});
    // A file that vanished: the message box, and no message.
    ModalDriver driver;
    driver.OnDialog([&](HWND d) { Click(d, IDC_EMAILOPT_SEND); });
    std::wstring boxText;
    driver.OnDialog([&](HWND box) {
        boxText = ItemText(box, 0xFFFF);
        Click(box, IDOK);
    });
    EXPECT_EQ(SendFilesByMail(nullptr, {a, files_.File("missing.jpg")}), 0);
    EXPECT_EQ(boxText, L"The pictures could not be sent by e-mail.");
    EXPECT_TRUE(OutboxFiles(store).empty());

    // A store that is gone by the time of sending: no account to send with.
    driver.OnDialog([&](HWND d) {
        fs::remove_all(fs::path(store.folder));
        Click(d, IDC_EMAILOPT_SEND);
    });
    driver.OnDialog([&](HWND box) {
        boxText = ItemText(box, 0xFFFF);
        Click(box, IDOK);
    });
    EXPECT_EQ(SendFilesByMail(nullptr, {a}), 0);
    EXPECT_EQ(boxText, L"The pictures were not sent: no e-mail account or service is set up on this device.");
}

TEST_F(SharingWin, ReceiveDialogStoresAFileFromASecondCopy) {
    const std::wstring inbox = files_.path().wstring() + L"\\";
    const std::wstring source = devices_.File("sent.jpg");
    std::vector<uint8_t> bytes(5000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 13);
    WriteBytes(source, bytes);
    std::future<int> sender;
    ModalDriver driver;
    driver.OnDialog([&](HWND d) {
        EXPECT_EQ(ItemText(d, IDC_IRDA_TEXT),
                  L"Receive by Irda (OBEX-Protocol)\nPlease start sending on other device.");
        sender = std::async(std::launch::async, [&] { return IrdaSendFile(L"", source.c_str(), nullptr, nullptr); });
    });
    std::vector<std::wstring> names;
    EXPECT_EQ(ReceiveByInfrared(nullptr, inbox.c_str(), &names), 1);
    EXPECT_EQ(sender.get(), 1);
    EXPECT_EQ(names, std::vector<std::wstring>{L"sent.jpg"});
    EXPECT_EQ(ReadBytes(inbox + L"sent.jpg"), bytes);
}

TEST_F(SharingWin, SendDialogPushesToASecondCopyAndCancelEndsTheSearch) {
    const std::wstring inbox = devices_.path().wstring() + L"\\";
    const std::wstring source = files_.File("photo.jpg");
    WriteBytes(source, std::vector<uint8_t>(100000, 7));
    auto receiver = std::async(std::launch::async, [&] { return IrdaReceiveFile(inbox.c_str(), nullptr, nullptr, nullptr); });
    IrDeviceInfo devices[2];
    for (int i = 0; i < 200 && IrEnumerateDevices(devices, 2) == 0; ++i) Sleep(10);
    // One driver per dialog: Wine may give the next dialog the same handle.
    {
        ModalDriver driver;  // no script: the dialog may end before a script could run
        EXPECT_EQ(SendFilesByInfrared(nullptr, {source}), 1);
    }
    EXPECT_EQ(receiver.get(), 1);
    EXPECT_EQ(ReadBytes(inbox + L"photo.jpg").size(), 100000u);

    // No device: the search counts attempts from #0 until the user cancels,
    // and then says the picture was not sent; left alone, it says that no
    // device was found.
    std::wstring search;
    std::vector<std::wstring> told;
    auto tell = [&](HWND box) {
        told.push_back(ItemText(box, 0xFFFF));
        Click(box, IDOK);
    };
    {
        ModalDriver driver;
        driver.OnDialog([&](HWND d) {
            for (int i = 0; i < 100 && ItemText(d, IDC_IRDA_SEARCH).empty(); ++i) Pump(10);
            search = ItemText(d, IDC_IRDA_SEARCH);
            Click(d, IDCANCEL);
            EXPECT_TRUE(IsWindow(d));  // the dialog waits for its worker
        });
        driver.OnDialog(tell);
        const DWORD start = GetTickCount();
        EXPECT_EQ(SendFilesByInfrared(nullptr, {source}), 0);
        EXPECT_LT(GetTickCount() - start, 1500u);
    }
    EXPECT_EQ(search.rfind(L"Searching for device: #", 0), 0u) << WideToUtf8(search.c_str());
    {
        ModalDriver driver;
        driver.OnDialog([](HWND) {});
        driver.OnDialog(tell);
        EXPECT_EQ(SendFilesByInfrared(nullptr, {source}), 0);
    }
    EXPECT_EQ(told, (std::vector<std::wstring>{
                        L"Sending was cancelled. The picture was not sent.",
                        L"The picture was not sent: no device was found. Start receiving on the other device, hold "
                        L"it facing this one and try again."}));

    // Two pictures: nothing happens.
    ModalDriver driver;
    EXPECT_EQ(SendFilesByInfrared(nullptr, {source, source}), 0);
    EXPECT_EQ(driver.dialogsSeen(), 0);
}

// How a send ended is told in the language file's words.
TEST_F(SharingWin, TheEndOfASendIsTranslated) {
    const std::wstring source = files_.File("photo.jpg");
    WriteBytes(source, {1, 2, 3});
    const testing_support::LanguageFileBesideProgram file(
        "ir", "ir=Other\r\n[String]\r\nIDS_IRDA_NO_DEVICE=Kein Geraet gefunden.\r\n");
    ASSERT_EQ(LngOpen("ir"), 1);
    std::wstring told;
    {
        ModalDriver driver;
        driver.OnDialog([](HWND) {});  // the search ends by itself
        driver.OnDialog([&](HWND box) {
            told = ItemText(box, 0xFFFF);
            Click(box, IDOK);
        });
        EXPECT_EQ(SendFilesByInfrared(nullptr, {source}), 0);
    }
    LngOpen("en");
    EXPECT_EQ(told, L"Kein Geraet gefunden.");
}

// A sender that pushes one object more than an exchange takes: the objects
// before it are kept and listed, and the user is told why the rest is missing.
TEST_F(SharingWin, AReceiveStoppedAtItsLimitKeepsWhatCameAndSaysSo) {
    if (!testing_support::PythonPresent()) PV_ORACLE_MISSING("Debian's /usr/bin/python3");
    std::string script = R"([{"op": "connect"})";
    for (size_t i = 0; i <= kObexMaxObjects; ++i) script += R"(, {"op": "put", "name": "a.jpg", "size": 10})";
    script += R"(, {"op": "disconnect"}])";
    testing_support::ObexPeer peer("push", devices_.path() / "devices", script);
    std::wstring told;
    std::vector<std::wstring> names;
    {
        ModalDriver driver(30000);
        driver.OnDialog([](HWND) {});  // the dialog ends by itself
        driver.OnDialog([&](HWND box) {
            told = ItemText(box, 0xFFFF);
            Click(box, IDOK);
        });
        EXPECT_EQ(ReceiveByInfrared(nullptr, files_.path().wstring().c_str(), &names), 1);
    }
    EXPECT_EQ(peer.Result().back(), "disconnect closed");
    EXPECT_EQ(names.size(), kObexMaxObjects);
    EXPECT_EQ(told, L"The sender passed the limit of one transfer (100 pictures or 4 GB). The pictures that came "
                    L"before it were kept.");
}

TEST_F(SharingWin, CancelEndsTheReceiveDialogWhileItWaits) {
    ModalDriver driver;
    driver.OnDialog([](HWND d) { Click(d, IDCANCEL); });
    std::vector<std::wstring> names{L"unchanged"};
    const DWORD start = GetTickCount();
    EXPECT_EQ(ReceiveByInfrared(nullptr, files_.path().wstring().c_str(), &names), 0);
    EXPECT_LT(GetTickCount() - start, 3000u);
    EXPECT_EQ(names, std::vector<std::wstring>{L"unchanged"});
    IrDeviceInfo devices[2];
    EXPECT_EQ(IrEnumerateDevices(devices, 2), 0);
}

// A peer that pushes requests and resets the connection without reading the
// answers: the receiver cannot send its responses and says so over its
// dialog with the system's error code, and the transfer ends with 0.
TEST_F(SharingWin, AResponseThatCannotBeSentIsShownWithTheSystemsError) {
    constexpr uint16_t kPort = 47651;
    IrSetServicePort("OBEX", kPort);
    bool pushed = false;
    ModalDriver driver;
    driver.OnDialog([&](HWND) {
        IrDeviceInfo devices[2];
        for (int i = 0; i < 300 && IrEnumerateDevices(devices, 2) == 0; ++i) Sleep(10);
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        SOCKET peer = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(kPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(peer, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            // More CONNECT requests than the receiver can answer before the reset arrives.
            std::vector<char> requests;
            for (int i = 0; i < 2000; ++i) requests.insert(requests.end(), {'\x80', 0, 7, 0x10, 0, 8, 0});
            pushed = send(peer, requests.data(), int(requests.size()), 0) == int(requests.size());
            const linger reset{1, 0};
            setsockopt(peer, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
        }
        closesocket(peer);
        WSACleanup();
    });
    std::wstring text, caption;
    LONG_PTR icon = 0;
    driver.OnDialog([&](HWND box) {
        text = ItemText(box, 0xFFFF);
        wchar_t title[64] = {};
        GetWindowTextW(box, title, 64);
        caption = title;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                icon = SendMessageW(child, STM_GETICON, 0, 0);
        Click(box, IDOK);
    });
    std::vector<std::wstring> names{L"unchanged"};
    EXPECT_EQ(ReceiveByInfrared(nullptr, files_.path().wstring().c_str(), &names), 0);
    IrSetServicePort("OBEX", 0);
    EXPECT_TRUE(pushed);
    EXPECT_EQ(text.rfind(L"send failed. Error: ", 0), 0u) << WideToUtf8(text.c_str());
    EXPECT_NE(text, L"send failed. Error: 0");
    EXPECT_EQ(caption, L"Error");
    EXPECT_EQ(icon, reinterpret_cast<LONG_PTR>(LoadIconW(nullptr, IDI_HAND)));
    EXPECT_EQ(names, std::vector<std::wstring>{L"unchanged"});
}
