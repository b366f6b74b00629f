// The infrared stand-in's device records: any process may write into the
// shared folder, so a bad record must be skipped, never trusted and never
// bring the program down (both targets).
#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/irsock.h"
#include "tests/support/testfiles.h"

using namespace testing_support;

namespace {

class IrRecords : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = registry_.path() / "devices";
        fs::create_directories(folder_);
        IrSetRegistryFolder(folder_.u8string());
        IrStartup();
    }
    void TearDown() override {
        IrCleanup();
        IrSetRegistryFolder("");
    }
    void Write(const std::string& fileName, const std::string& text) {
        WriteText((folder_ / fileName).wstring(), text);
    }
    int CountDevices() {
        IrDeviceInfo devices[8];
        return IrEnumerateDevices(devices, 8);
    }

    ScratchDir registry_;
    fs::path folder_;
};

const char kGoodRecord[] = "pid 0\nname bridge\nhost 127.0.0.1\nservice 5 650 OBEX\nias OBEX IrDA:TinyTP 50\n";

}  // namespace

TEST_F(IrRecords, MalformedRecordsAreNoDevices) {
    const struct {
        const char* what;
        std::string fileName;
        std::string text;
    } cases[] = {
        {"IAS value not hex", "dev-00000101.txt", "pid 0\nservice 5 650 OBEX\nias OBEX IrDA:TinyTP zz\n"},
        {"IAS value of odd length", "dev-00000102.txt", "pid 0\nservice 5 650 OBEX\nias OBEX IrDA:TinyTP abc\n"},
        {"IAS value over 255 bytes", "dev-00000103.txt",
         "pid 0\nservice 5 650 OBEX\nias OBEX a " + std::string(512, 'a') + "\n"},
        {"negative pid", "dev-00000104.txt", "pid -1\nservice 5 650 OBEX\n"},
        {"pid beyond 32 bits", "dev-00000105.txt", "pid 99999999999\nservice 5 650 OBEX\n"},
        {"selector 0", "dev-00000106.txt", "pid 0\nservice 0 650 OBEX\n"},
        {"selector above 0x6F", "dev-00000107.txt", "pid 0\nservice 112 650 OBEX\n"},
        {"selector beyond 32 bits", "dev-00000108.txt", "pid 0\nservice 99999999999 650 OBEX\n"},
        {"port 0", "dev-00000109.txt", "pid 0\nservice 5 0 OBEX\n"},
        {"port beyond 16 bits", "dev-0000010a.txt", "pid 0\nservice 5 70000 OBEX\n"},
        {"signed port", "dev-0000010b.txt", "pid 0\nservice 5 +650 OBEX\n"},
        {"no service name", "dev-0000010c.txt", "pid 0\nservice 5 650\n"},
        {"service name too long", "dev-0000010d.txt", "pid 0\nservice 5 650 " + std::string(25, 'S') + "\n"},
        {"no service line", "dev-0000010e.txt", "pid 0\nname lonely\n"},
        {"control character in the name", "dev-0000010f.txt", "pid 0\nname a\tb\nservice 5 650 OBEX\n"},
        {"oversized record", "dev-00000110.txt", "pid 0\nservice 5 650 OBEX\nname " + std::string(5000, 'n') + "\n"},
        {"short file name", "dev-1.txt", kGoodRecord},
        {"id 0", "dev-00000000.txt", kGoodRecord},
        {"not hex file name", "dev-0000011g.txt", kGoodRecord},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        Write(c.fileName, c.text);
        EXPECT_EQ(CountDevices(), 0);
        unsigned id = 0;
        std::sscanf(c.fileName.c_str(), "dev-%x", &id);
        int32_t lsap = 0;
        EXPECT_NE(IrQueryIasInteger(id, "OBEX", "IrDA:TinyTP:LsapSel", &lsap), 0);
    }
    // The same folder with one good record beside the bad ones finds it.
    Write("dev-00000201.txt", kGoodRecord);
    IrDeviceInfo devices[8];
    ASSERT_EQ(IrEnumerateDevices(devices, 8), 1);
    EXPECT_EQ(devices[0].id, 0x201u);
    EXPECT_STREQ(devices[0].name, "bridge");
    int32_t lsap = 0;
    EXPECT_EQ(IrQueryIasInteger(0x201, "OBEX", "IrDA:TinyTP:LsapSel", &lsap), 0);
    EXPECT_EQ(lsap, 5);
}

TEST_F(IrRecords, ServicesAreReachedOnlyByTheirExactName) {
    const IrSocket listening = IrOpenStream();
    ASSERT_EQ(IrBind(listening, "OBEX"), 0);
    ASSERT_EQ(IrListen(listening, 1), 0);
    IrDeviceInfo device;
    ASSERT_EQ(IrEnumerateDevices(&device, 1), 1);
    int32_t lsap = 0;
    ASSERT_EQ(IrQueryIasInteger(device.id, "OBEX", "IrDA:TinyTP:LsapSel", &lsap), 0);
    const std::string good = "LSAP-SEL" + std::to_string(lsap);
    const struct {
        std::string name;
        bool reaches;
    } cases[] = {
        {good, true},
        {"OBEX", true},
        {good + "x", false},
        {good + " ", false},
        {"LSAP-SEL+" + std::to_string(lsap), false},
        {"LSAP-SEL" + std::to_string(lsap + 4294967296LL), false},
        {"LSAP-SEL", false},
        {"OBEX2", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const IrSocket client = IrOpenStream();
        const bool connected = IrConnect(client, device.id, c.name.c_str()) == 0;
        EXPECT_EQ(connected, c.reaches);
        // Taken off the backlog at once, so a wrong connect cannot block the next.
        if (connected) IrClose(IrAccept(listening));
        IrClose(client);
    }
    IrClose(listening);
    EXPECT_EQ(CountDevices(), 0);
}

TEST_F(IrRecords, NamesThatARecordCannotCarryAreRefused) {
    const IrSocket socket = IrOpenStream();
    EXPECT_NE(IrSetIasString(socket, "OB\tEX", "IrDA:TinyTP", nullptr, 0), 0);
    EXPECT_NE(IrSetIasString(socket, "OBEX", "IrDA TinyTP", nullptr, 0), 0);
    EXPECT_NE(IrBind(socket, "OB\x01X"), 0);
    EXPECT_NE(IrBind(socket, std::string(25, 'S').c_str()), 0);
    EXPECT_EQ(IrAddBridgeDevice("a\tb", "127.0.0.1", 650), 0u);
    EXPECT_EQ(IrAddBridgeDevice("bridge", "127.0.0.1", 0), 0u);
    const uint32_t bridge = IrAddBridgeDevice("bridge", "127.0.0.1", 650);
    EXPECT_NE(bridge, 0u);
    EXPECT_EQ(CountDevices(), 1);
    IrRemoveBridgeDevice(bridge);
    IrClose(socket);
}

#ifndef _WIN32
// Only regular files are records. A pipe under a record's name has no writer,
// so merely opening it would wait forever; a link or folder is no record
// either, whatever it leads to.
TEST_F(IrRecords, OnlyRegularFilesAreReadAndNoneBlocks) {
    ScratchDir elsewhere;
    WriteText((elsewhere.path() / "record.txt").wstring(), kGoodRecord);
    Write("dev-00000001.txt", kGoodRecord);
    ASSERT_EQ(::mkfifo((folder_ / "dev-00000002.txt").c_str(), 0600), 0);
    fs::create_symlink(elsewhere.path() / "record.txt", folder_ / "dev-00000003.txt");
    fs::create_directory(folder_ / "dev-00000004.txt");
    auto search = std::async(std::launch::async, [] {
        IrDeviceInfo devices[8];
        int32_t lsap = 0;
        const int count = IrEnumerateDevices(devices, 8);
        const bool pipeFound = IrQueryIasInteger(2, "OBEX", "IrDA:TinyTP:LsapSel", &lsap) == 0;
        return std::make_pair(count == 1 ? devices[0].id : 0u, pipeFound);
    });
    if (search.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "the search waits on the pipe";
        // A writer that comes and goes releases the waiting open and read,
        // so the test can end.
        do {
            const int writer = ::open((folder_ / "dev-00000002.txt").c_str(), O_RDWR | O_NONBLOCK);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ::close(writer);
        } while (search.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready);
    }
    const auto [found, pipeFound] = search.get();
    EXPECT_EQ(found, 1u);
    EXPECT_FALSE(pipeFound);
    for (uint32_t id : {3u, 4u}) {
        int32_t lsap = 0;
        EXPECT_NE(IrQueryIasInteger(id, "OBEX", "IrDA:TinyTP:LsapSel", &lsap), 0) << id;
    }
}

// A registry folder that someone else could write into (or that is a link
// to one) is not used: no device is read from it and none is published in
// it. A missing folder is made open to this user alone.
TEST_F(IrRecords, AFolderOthersCouldWriteIsNotUsed) {
    ScratchDir target;
    const fs::path linked = registry_.path() / "linked";
    fs::create_symlink(folder_, linked);
    const struct {
        const char* what;
        fs::path folder;
        mode_t mode;
        uid_t owner;
    } cases[] = {
        {"writable by all", folder_, 0777, ::geteuid()},
        {"writable by the group", folder_, 0775, ::geteuid()},
        {"a link to a good folder", linked, 0755, ::geteuid()},
        {"another user's", folder_, 0755, ::geteuid() == 0 ? uid_t(65534) : ::geteuid()},
    };
    Write("dev-00000001.txt", kGoodRecord);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.owner != ::geteuid() && ::geteuid() != 0) continue;  // only root may give a folder away
        ASSERT_EQ(::chmod(folder_.c_str(), c.mode), 0);
        ASSERT_EQ(::lchown(folder_.c_str(), c.owner, gid_t(-1)), 0);
        IrSetRegistryFolder(c.folder.u8string());
        EXPECT_EQ(CountDevices(), 0);
        const IrSocket listening = IrOpenStream();
        EXPECT_EQ(IrBind(listening, "OBEX"), 0);
        EXPECT_NE(IrListen(listening, 1), 0);
        IrClose(listening);
        EXPECT_EQ(IrAddBridgeDevice("bridge", "127.0.0.1", 650), 0u);
        ASSERT_EQ(::lchown(folder_.c_str(), ::geteuid(), gid_t(-1)), 0);
        ASSERT_EQ(::chmod(folder_.c_str(), 0755), 0);
    }
    IrSetRegistryFolder(folder_.u8string());
    EXPECT_EQ(CountDevices(), 1);

    const fs::path fresh = target.path() / "a" / "fresh";
    IrSetRegistryFolder(fresh.u8string());
    const uint32_t bridge = IrAddBridgeDevice("bridge", "127.0.0.1", 650);
    EXPECT_NE(bridge, 0u);
    EXPECT_EQ(CountDevices(), 1);
    EXPECT_EQ(fs::status(fresh).permissions() & fs::perms::all, fs::perms::owner_all);
    IrRemoveBridgeDevice(bridge);
}
#endif
