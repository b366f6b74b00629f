// OBEX packets, the receiving server's answers, and whole exchanges between
// two copies over the infrared stand-in (both targets).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <random>
#include <thread>

#include "platform/irsock.h"
#include "tests/sharing/obexpeer.h"
#include "tests/support/bytes.h"
#include "tests/support/missingoracle.h"
#include "tests/support/testfiles.h"
#include "tools/irda.h"
#include "tools/obex.h"

using namespace testing_support;
using namespace std::string_literals;

namespace {

std::vector<uint8_t> Packet(uint8_t code, const std::vector<uint8_t>& rest) {
    std::vector<uint8_t> p{code, 0, 0};
    p.insert(p.end(), rest.begin(), rest.end());
    p[1] = uint8_t(p.size() >> 8);
    p[2] = uint8_t(p.size());
    return p;
}

std::vector<uint8_t> NameHeader(const std::u16string& name) {
    std::vector<uint8_t> h{kObexHeaderName};
    AppendBe16(h, uint32_t(3 + (name.size() + 1) * 2));
    for (char16_t c : name) AppendBe16(h, c);
    AppendBe16(h, 0);
    return h;
}

std::vector<uint8_t> BodyHeader(uint8_t id, const std::string& bytes) {
    std::vector<uint8_t> h{id};
    AppendBe16(h, uint32_t(bytes.size() + 3));
    h.insert(h.end(), bytes.begin(), bytes.end());
    return h;
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(n);
    for (auto& b : bytes) b = uint8_t(random());
    return bytes;
}

// Every test gets its own device registry, so no other run's devices show.
class IrdaFixture : public ::testing::Test {
protected:
    void SetUp() override {
        IrSetRegistryFolder(Devices().u8string());
        fs::create_directories(inbox_.path());
    }
    void TearDown() override { IrSetRegistryFolder(""); }
    std::wstring Inbox() const { return inbox_.path().wstring() + L"/"; }
    fs::path Devices() const { return registry_.path() / "devices"; }
    // The names in the inbox, sorted.
    std::vector<std::wstring> InboxNames() const {
        std::vector<std::wstring> names;
        for (const auto& entry : fs::directory_iterator(inbox_.path())) names.push_back(entry.path().filename().wstring());
        std::sort(names.begin(), names.end());
        return names;
    }

    ScratchDir registry_;
    ScratchDir inbox_;
    ScratchDir outbox_;
};

struct ReceiverRun {
    std::atomic<int> cancel{0};
    std::atomic<int> calls{0};
    bool cancelAfterName = false;  // the user cancels while the named object streams in
    bool named = false;
    std::vector<std::wstring> names;
    std::vector<int> percents;
};

int ReceiverCallback(void* context, const wchar_t* text, int value) {
    auto* run = static_cast<ReceiverRun*>(context);
    ++run->calls;
    if (value) run->percents.push_back(value);
    if (!text && !value && run->named && run->cancelAfterName) run->cancel = 1;
    if (text) run->named = true;
    return run->cancel.load();
}

std::future<int> StartReceiver(const std::wstring& folder, ReceiverRun* run, int idleTimeoutMs = kIrdaIdleTimeoutMs) {
    return std::async(std::launch::async, [folder, run, idleTimeoutMs] {
        return IrdaReceiveFile(folder.c_str(), &run->names, ReceiverCallback, run, nullptr, idleTimeoutMs);
    });
}

// Waits until a receiver has published its device.
bool WaitForDevice(int tenthsOfASecond = 20) {
    IrDeviceInfo devices[4];
    for (int i = 0; i < tenthsOfASecond * 10; ++i) {
        if (IrEnumerateDevices(devices, 4) > 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

struct SenderRun {
    std::vector<int> values;
    int cancelAtPercent = -1;
};

int SenderCallback(void* context, const wchar_t*, int value) {
    auto* run = static_cast<SenderRun*>(context);
    run->values.push_back(value);
    return run->cancelAtPercent >= 0 && value > run->cancelAtPercent;
}

}  // namespace

TEST(ObexPacketTest, ParsesHeadersAndRejectsMalformedOnes) {
    const auto good = Packet(kObexPutFinal, Join({NameHeader(u"a.jpg"), {kObexHeaderLength, 0, 0, 1, 0},
                                                  {0x97, 0x01}, BodyHeader(kObexHeaderEndOfBody, "xyz")}));
    ObexPacket packet;
    ASSERT_TRUE(ObexParsePacket(good.data(), good.size(), false, &packet));
    EXPECT_EQ(packet.name, u"a.jpg");
    EXPECT_EQ(packet.totalLength, 256u);
    EXPECT_TRUE(packet.endOfBody);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(packet.body), packet.bodySize), "xyz");

    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } bad[] = {
        {"length field beyond the packet", {kObexPut, 0, 9, 0x48, 0, 3}},
        {"length field short of the packet", {kObexPut, 0, 3, 0x48, 0, 3}},
        {"header length below its head", Packet(kObexPut, {0x48, 0, 2})},
        {"header beyond the packet", Packet(kObexPut, {0x48, 0, 40, 1, 2})},
        {"4-byte header cut short", Packet(kObexPut, {kObexHeaderLength, 0, 0})},
        {"odd name", Packet(kObexPut, {kObexHeaderName, 0, 6, 0, 'a', 0})},
        {"two bodies", Packet(kObexPut, Join({BodyHeader(0x48, "a"), BodyHeader(0x49, "b")}))},
        {"head only two bytes", {kObexPut, 0}},
    };
    for (const auto& c : bad) EXPECT_FALSE(ObexParsePacket(c.bytes.data(), c.bytes.size(), false, &packet)) << c.what;
}

TEST(ObexPacketTest, ReceivedNamesAreMadeSafe) {
    const struct {
        std::u16string in;
        std::wstring out;
    } cases[] = {
        {u"a.jpg", L"a.jpg"},
        {u"\\My Documents\\a.jpg", L"a.jpg"},
        {u"../../etc/passwd", L"passwd"},
        {u"..", L""},
        {u"dir/..", L""},
        {u"", L""},
        {u"c:evil", L""},
        {u"NUL", L""},
        {u"AUX.txt", L""},
        {u"\\x\\com1", L""},
        {u"lpt1.jpg", L""},
        {u"trail.jpg.", L"trail.jpg"},
        {u"trail.jpg ", L"trail.jpg"},
        {u"NUL.", L""},
        {u". .", L""},
        {u"nul_x.jpg", L"nul_x.jpg"},
        {std::u16string(259, u'n'), std::wstring(259, L'n')},
        {std::u16string(260, u'n'), L""},
        // The program's own files in a folder, in any case.
        {u"cache.zt", L""},
        {u"CACHE.ZT", L""},
        {u"\\x\\cache.zt.", L""},
        {u"cache.zt1", L""},
        {u"cache.zt.jpg", L"cache.zt.jpg"},
        // Names that show other than they are, or hide a part.
        {u"photo\u202Egpj.exe", L""},
        {u"a\u200Bb.jpg", L""},
        {u"\uFEFFa.jpg", L""},
        {u"a\u2066b\u2069.jpg", L""},
        {u"a\u0085.jpg", L""},
        {u"a\U000E0041.jpg", L""},
        {u"a\0hidden"s, L""},
        // Letters beyond ASCII stay, supplementary ones too.
        {u"\u00E9t\u00E9.jpg", L"\u00E9t\u00E9.jpg"},
        {u"\U0001F600.jpg", L"\U0001F600.jpg"},
    };
    for (const auto& c : cases) EXPECT_EQ(ObexSafeName(c.in), c.out);
}

TEST(ObexPacketTest, StoredNamesKeepTheExtensionAndDropWhatWindowsDrops) {
    const struct {
        std::wstring safe;
        int n;
        std::wstring name;
    } cases[] = {
        {L"a.jpg", 1, L"a.jpg"},
        {L"a.jpg", 2, L"a (2).jpg"},
        {L"a.tar.gz", 12, L"a.tar (12).gz"},
        {L"trail.jpg. .", 1, L"trail.jpg"},
        {L"trail.jpg.", 2, L"trail (2).jpg"},
        {L"noext", 3, L"noext (3)"},
        {L".profile", 2, L".profile (2)"},
        {L"...", 1, L""},
    };
    for (const auto& c : cases) EXPECT_EQ(ObexCandidateName(c.safe, c.n), c.name) << c.n;
}

TEST(ObexServerTest, AnswersEachRequestAsTheProtocolSays) {
    ScratchDir dir;
    ObexReceiveState state;
    state.folder = dir.path().wstring() + L"/";
    std::vector<uint8_t> response;
    auto send = [&](const std::vector<uint8_t>& request) {
        ObexHandleRequest(&state, request.data(), request.size(), &response);
        return response[0];
    };
    const auto connect = ObexConnectPacket(kObexConnect, 2048);
    EXPECT_EQ(send(connect), kObexSuccess);
    EXPECT_EQ(response, (std::vector<uint8_t>{0xA0, 0, 7, 0x10, 0, 0x04, 0x00}));

    // Name, Length and End of Body in one final PUT make a whole object.
    EXPECT_EQ(send(Packet(kObexPutFinal, Join({NameHeader(u"one.jpg"), BodyHeader(0x49, "12345")}))), kObexSuccess);
    ASSERT_EQ(state.complete.size(), 1u);
    EXPECT_EQ(ReadBytes(state.complete[0].tempPath), (std::vector<uint8_t>{'1', '2', '3', '4', '5'}));

    EXPECT_EQ(send(Packet(kObexPut, NameHeader(u".."))), kObexForbidden);
    // A zero inside a name does not cut it to a name that would be taken.
    EXPECT_EQ(send(Packet(kObexPut, NameHeader(u"a\0hidden"s))), kObexForbidden);
    EXPECT_EQ(send(Packet(kObexPut, BodyHeader(0x48, "orphan"))), kObexBadRequest);
    EXPECT_EQ(send(Packet(0x03, {})), kObexNotImplemented);          // GET
    EXPECT_EQ(send(Packet(0x85, {0, 0})), kObexNotImplemented);      // SETPATH
    EXPECT_EQ(send(Packet(kObexPut, {0x48, 0, 1})), kObexBadRequest);  // malformed

    // An aborted transfer leaves nothing behind, not even its temporary file.
    EXPECT_EQ(send(Packet(kObexPut, Join({NameHeader(u"two.jpg"), BodyHeader(0x48, "part")}))), kObexContinue);
    EXPECT_EQ(send(Packet(kObexAbort, {})), kObexSuccess);
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        files += entry.path().filename() != ToFsPath(state.complete[0].tempPath).filename();
    EXPECT_EQ(files, 0u);

    ObexHandleRequest(&state, ObexShortPacket(kObexDisconnect).data(), 3, &response);
    EXPECT_TRUE(state.disconnected);
    std::vector<std::wstring> names;
    ASSERT_TRUE(ObexStoreReceived(&state, &names));
    EXPECT_EQ(names, std::vector<std::wstring>{L"one.jpg"});
    EXPECT_EQ(ReadBytes(state.folder + L"one.jpg"), (std::vector<uint8_t>{'1', '2', '3', '4', '5'}));
    ObexReceiveFinish(&state);
}

TEST(ObexServerTest, ProgressOfFilesOverTwoGigabytesIsComputedWide) {
    ScratchDir dir;
    std::vector<int> values;
    ObexReceiveState state;
    state.folder = dir.path().wstring() + L"/";
    state.context = &values;
    state.callback = [](void* context, const wchar_t*, int value) {
        if (value) static_cast<std::vector<int>*>(context)->push_back(value);
        return 0;
    };
    std::vector<uint8_t> response;
    const auto first = Packet(kObexPut, Join({NameHeader(u"big.bin"), {kObexHeaderLength, 0xC0, 0, 0, 0}}));
    ObexHandleRequest(&state, first.data(), first.size(), &response);
    state.received = 0x80000000u;  // as if 2 GB had come already
    const auto body = Packet(kObexPut, BodyHeader(0x48, "x"));
    ObexHandleRequest(&state, body.data(), body.size(), &response);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0], 66);
    ObexReceiveFinish(&state);
}

// The limits of one exchange: the object past the count, a body past the
// bytes, or a Length announcing more than is left, is answered Database Full
// and ends the exchange; the whole objects before it are stored.
TEST(ObexServerTest, AnExchangeStopsAtItsLimitsAndKeepsWhatCameBefore) {
    const auto object = [](const std::u16string& name, const std::string& body) {
        return Packet(kObexPutFinal, Join({NameHeader(name), BodyHeader(kObexHeaderEndOfBody, body)}));
    };
    const struct {
        const char* what;
        size_t maxObjects;
        uint64_t maxBytes;
        std::vector<uint8_t> last;
    } cases[] = {
        {"one object too many", 2, 100, object(u"c.jpg", "c")},
        {"body past the bytes", 3, 10, object(u"c.jpg", "ccccc")},
        {"Length past the bytes", 3, 10,
         Packet(kObexPut, Join({NameHeader(u"c.jpg"), {kObexHeaderLength, 0, 0, 0, 5}}))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        ObexReceiveState state;
        state.folder = dir.path().wstring() + L"/";
        state.maxObjects = c.maxObjects;
        state.maxExchangeBytes = c.maxBytes;
        std::vector<uint8_t> response;
        for (const auto& request : {object(u"a.jpg", "aaa"), object(u"a.jpg", "bbb")})
            ASSERT_TRUE(ObexHandleRequest(&state, request.data(), request.size(), &response));
        EXPECT_FALSE(ObexHandleRequest(&state, c.last.data(), c.last.size(), &response));
        EXPECT_EQ(response, ObexShortPacket(kObexDatabaseFull));
        EXPECT_TRUE(state.limited);
        std::vector<std::wstring> names;
        ASSERT_TRUE(ObexStoreReceived(&state, &names));
        EXPECT_EQ(names, (std::vector<std::wstring>{L"a.jpg", L"a (2).jpg"}));
        EXPECT_EQ(ReadBytes(state.folder + L"a (2).jpg"), (std::vector<uint8_t>{'b', 'b', 'b'}));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
    }
}

TEST_F(IrdaFixture, TwoCopiesExchangeFilesByteExact) {
    for (size_t size : {size_t(0), size_t(1023), size_t(1024), size_t(1018), size_t(2036), size_t(2048),
                        size_t(1) << 20}) {
        SCOPED_TRACE(size);
        const auto bytes = RandomBytes(size, unsigned(size));
        const std::wstring source = outbox_.File("picture " + std::to_string(size) + ".jpg");
        WriteBytes(source, bytes);
        ReceiverRun receiver;
        auto received = StartReceiver(Inbox(), &receiver);
        ASSERT_TRUE(WaitForDevice());
        SenderRun sender;
        EXPECT_EQ(IrdaSendFile(L"", source.c_str(), SenderCallback, &sender), 1);
        ASSERT_EQ(received.get(), 1);
        const std::wstring name = L"picture " + std::to_wstring(size) + L".jpg";
        EXPECT_EQ(receiver.names, std::vector<std::wstring>{name});  // the base name, not the sender's path
        EXPECT_EQ(ReadBytes(Inbox() + name), bytes);
        ASSERT_FALSE(sender.values.empty());
        EXPECT_EQ(sender.values.front(), 0);  // first discovery attempt
    }
    // The receiver leaves no device behind once it is done.
    IrDeviceInfo devices[4];
    EXPECT_EQ(IrEnumerateDevices(devices, 4), 0);
}

TEST_F(IrdaFixture, SenderFindsNoDeviceAfterTenAttempts) {
    const std::wstring source = outbox_.File("a.jpg");
    WriteBytes(source, {1, 2, 3});
    SenderRun sender;
    EXPECT_EQ(IrdaSendFile(L"", source.c_str(), SenderCallback, &sender), kIrdaSendNoDevice);
    EXPECT_EQ(sender.values, (std::vector<int>{0, -1, -2, -3, -4, -5, -6, -7, -8, -9}));
}

TEST_F(IrdaFixture, CancelEndsTheWaitAndAPushHalfWay) {
    ReceiverRun waiting;
    waiting.cancel = 1;
    EXPECT_EQ(StartReceiver(Inbox(), &waiting).get(), 0);
    EXPECT_EQ(waiting.calls.load(), 1);

    const auto bytes = RandomBytes(100000, 7);
    const std::wstring source = outbox_.File("half.jpg");
    WriteBytes(source, bytes);
    ReceiverRun receiver;
    auto received = StartReceiver(Inbox(), &receiver);
    ASSERT_TRUE(WaitForDevice());
    SenderRun sender;
    sender.cancelAtPercent = 40;
    EXPECT_EQ(IrdaSendFile(L"", source.c_str(), SenderCallback, &sender), kIrdaSendCancelled);
    EXPECT_EQ(received.get(), 0);
    EXPECT_TRUE(fs::is_empty(inbox_.path()));
}

// A raw peer on the stand-in, for exchanges our own sender never makes.
class RawPeer : public ObexLink {
public:
    RawPeer() {
        IrStartup();
        IrDeviceInfo device;
        int32_t lsap = 0;
        ok_ = WaitForDevice() && IrEnumerateDevices(&device, 1) == 1 &&
              IrQueryIasInteger(device.id, "OBEX", "IrDA:TinyTP:LsapSel", &lsap) == 0;
        socket_ = IrOpenStream();
        ok_ = ok_ && IrConnect(socket_, device.id, ("LSAP-SEL" + std::to_string(lsap)).c_str()) == 0;
    }
    ~RawPeer() override { Close(); }
    void Close() {
        if (socket_ != kIrInvalidSocket) IrClose(socket_);
        socket_ = kIrInvalidSocket;
        IrCleanup();
    }
    bool Send(const uint8_t* data, size_t size) override { return IrSend(socket_, data, size) == long(size); }
    long Recv(uint8_t* buffer, size_t capacity) override { return IrRecv(socket_, buffer, capacity); }
    uint8_t Exchange(const std::vector<uint8_t>& request) {
        std::vector<uint8_t> answer;
        if (!Send(request.data(), request.size()) || ObexReadPacket(*this, 0xFFFF, &answer) != 1) return 0;
        return answer[0];
    }
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
    IrSocket socket_ = kIrInvalidSocket;
};

TEST_F(IrdaFixture, ReceiverAcceptsAPeerThatClosesAfterItsFinalPut) {
    ReceiverRun receiver;
    auto received = StartReceiver(Inbox(), &receiver);
    RawPeer peer;
    ASSERT_TRUE(peer.ok());
    EXPECT_EQ(peer.Exchange(ObexConnectPacket(kObexConnect, 1024)), kObexSuccess);
    // Name and Length in the second PUT, after an empty first one; the
    // request is split over two sends.
    EXPECT_EQ(peer.Exchange(Packet(kObexPut, {})), kObexContinue);
    auto named = Packet(kObexPut, Join({{kObexHeaderLength, 0, 0, 0, 6}, NameHeader(u"\\Temp\\late.jpg")}));
    ASSERT_TRUE(peer.Send(named.data(), 4));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(peer.Exchange(std::vector<uint8_t>(named.begin() + 4, named.end())), kObexContinue);
    EXPECT_EQ(peer.Exchange(Packet(kObexPut, BodyHeader(0x48, "abc"))), kObexContinue);
    EXPECT_EQ(peer.Exchange(Packet(kObexPutFinal, BodyHeader(0x49, "def"))), kObexSuccess);
    peer.Close();
    EXPECT_EQ(received.get(), 1);
    EXPECT_EQ(receiver.names, std::vector<std::wstring>{L"late.jpg"});
    EXPECT_EQ(ReadBytes(Inbox() + L"late.jpg"), (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e', 'f'}));
    EXPECT_EQ(receiver.percents, (std::vector<int>{50, 100}));
}

TEST_F(IrdaFixture, ReceiverRefusesPacketsLargerThanItAnnounced) {
    ReceiverRun receiver;
    auto received = StartReceiver(Inbox(), &receiver);
    RawPeer peer;
    ASSERT_TRUE(peer.ok());
    EXPECT_EQ(peer.Exchange(ObexConnectPacket(kObexConnect, 1024)), kObexSuccess);
    EXPECT_EQ(peer.Exchange(Packet(kObexPut, Join({NameHeader(u"x.jpg"), BodyHeader(0x48, std::string(2000, 'x'))}))),
              kObexRequestTooLarge);
    EXPECT_EQ(received.get(), 0);
    EXPECT_TRUE(fs::is_empty(inbox_.path()));
}

// Hostile and foreign peers: tests/sharing/obex_peer.py plays the other
// device, building its packets itself.
class IrdaPeerTest : public IrdaFixture {
protected:
    void SetUp() override {
        IrdaFixture::SetUp();
        if (!PythonPresent()) PV_ORACLE_MISSING("Debian's /usr/bin/python3");
    }
    // A file of `size` bytes in the outbox; its path as the peer sees it.
    std::string Source(const std::string& name, size_t size, unsigned seed) {
        const std::wstring path = outbox_.File(name);
        WriteBytes(path, RandomBytes(size, seed));
        return UnixPath(fs::path(path));
    }
    std::vector<uint8_t> SourceBytes(const std::string& name) { return ReadBytes(outbox_.File(name)); }
};

// One connection pushes five objects into a folder that holds two of their
// names: nothing is replaced, each object gets a new name of its own (the
// file system's own mapping of "trail.jpg." and, on Windows, "victim.JPG"
// onto existing files included), and every stored name is reported.
TEST_F(IrdaPeerTest, ReceivedFilesNeverReplaceAFile) {
    WriteBytes(Inbox() + L"victim.jpg", {'o', 'l', 'd'});
    WriteBytes(Inbox() + L"trail.jpg", {'t', 'r', 'a', 'i', 'l'});
    const std::string pushes[][2] = {{"victim.jpg", "a"}, {"victim.jpg", "b"}, {"trail.jpg.", "c"},
                                     {"victim.JPG", "d"}, {"fresh.jpg", "e"}};
    std::string script = R"([{"op": "connect", "max": 2048})";
    for (size_t i = 0; i < 5; ++i)
        script += R"(, {"op": "put", "name": ")" + pushes[i][0] + R"(", "file": ")" +
                  Source(pushes[i][1], 700 + 900 * i, unsigned(i)) + R"("})";
    script += R"(, {"op": "disconnect"}])";
    ReceiverRun receiver;
    auto received = StartReceiver(Inbox(), &receiver);
    ObexPeer peer("push", Devices(), script);
    ASSERT_TRUE(peer.started());
    EXPECT_EQ(peer.Result(), (std::vector<std::string>{"connect a0", "put 90 a0", "sent 700", "put 90 90 a0",
                                                       "sent 1600", "put 90 90 90 a0", "sent 2500",
                                                       "put 90 90 90 90 a0", "sent 3400", "put 90 90 90 90 90 a0",
                                                       "sent 4300", "disconnect a0"}));
    ASSERT_EQ(received.get(), 1);
    ASSERT_EQ(receiver.names.size(), 5u);
    EXPECT_EQ(receiver.names[0], L"victim (2).jpg");
    EXPECT_EQ(receiver.names[1], L"victim (3).jpg");
    EXPECT_EQ(receiver.names[2], L"trail (2).jpg");
#ifdef _WIN32
    EXPECT_EQ(receiver.names[3], L"victim (4).JPG");
#else
    EXPECT_EQ(receiver.names[3], L"victim.JPG");  // another name on a file system that tells case
#endif
    EXPECT_EQ(receiver.names[4], L"fresh.jpg");
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(ReadBytes(Inbox() + receiver.names[i]), SourceBytes(pushes[i][1])) << i;
    EXPECT_EQ(ReadBytes(Inbox() + L"victim.jpg"), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(ReadBytes(Inbox() + L"trail.jpg"), (std::vector<uint8_t>{'t', 'r', 'a', 'i', 'l'}));
    EXPECT_EQ(InboxNames().size(), 7u);  // no temporary file left
}

// Handheld clients send 1,024-byte chunks in 1,030-byte packets
// (and an empty End of Body after a file that ends on a whole chunk), though
// the server announced 1,024: the client's own 2,048 is taken.
TEST_F(IrdaPeerTest, ReceiverTakesTheHandheldClientsPacketLayout) {
    const std::string source = Source("layout.jpg", 2048, 3);
    ReceiverRun receiver;
    auto received = StartReceiver(Inbox(), &receiver);
    ObexPeer peer("push", Devices(),
                  R"([{"op": "connect", "max": 2048}, {"op": "put", "name": "layout.jpg", "file": ")" + source +
                      R"("}, {"op": "disconnect"}])");
    EXPECT_EQ(peer.Result(),
              (std::vector<std::string>{"connect a0", "put 90 90 90 a0", "sent 2048", "disconnect a0"}));
    ASSERT_EQ(received.get(), 1);
    EXPECT_EQ(ReadBytes(Inbox() + L"layout.jpg"), SourceBytes("layout.jpg"));
}

// A peer that sends a name and 500 bytes and then nothing is dropped after
// the idle time, and the half object goes with it.
TEST_F(IrdaPeerTest, ASilentPeerIsDroppedAndLeavesNothing) {
    ReceiverRun receiver;
    auto received = StartReceiver(Inbox(), &receiver, 500);
    std::vector<uint8_t> put = Packet(kObexPut, Join({NameHeader(u"held.jpg"), BodyHeader(0x48, std::string(500, 'h'))}));
    ObexPeer peer("push", Devices(),
                  R"([{"op": "connect"}, {"op": "raw", "hex": ")" + HexText(put.data(), put.size()) +
                      R"("}, {"op": "silent", "hold": 60}])");
    EXPECT_EQ(peer.Result(), (std::vector<std::string>{"connect a0", "raw 90", "silent closed"}));
    EXPECT_EQ(received.get(), 0);
    EXPECT_TRUE(InboxNames().empty());
}

// After DISCONNECT the receiver lets the peer close first, but does not wait
// on one that keeps sending instead.
TEST_F(IrdaPeerTest, APeerThatKeepsSendingAfterDisconnectIsNotWaitedFor) {
    const std::string source = Source("kept.jpg", 100, 6);
    ReceiverRun receiver;
    auto received = StartReceiver(Inbox(), &receiver);
    ObexPeer peer("push", Devices(),
                  R"([{"op": "connect"}, {"op": "put", "name": "kept.jpg", "file": ")" + source +
                      R"("}, {"op": "disconnect"}, {"op": "flood", "hold": 60}])");
    EXPECT_EQ(peer.Result(),
              (std::vector<std::string>{"connect a0", "put 90 a0", "sent 100", "disconnect a0", "flood closed"}));
    EXPECT_EQ(received.get(), 1);
    EXPECT_EQ(receiver.names, std::vector<std::wstring>{L"kept.jpg"});
}

// Cancel while a peer streams a large body without a Length (so no progress
// is reported): the receiver closes the connection at once and keeps nothing.
TEST_F(IrdaPeerTest, CancelClosesTheConnectionAtOnce) {
    ReceiverRun receiver;
    receiver.cancelAfterName = true;
    auto received = StartReceiver(Inbox(), &receiver);
    ObexPeer peer("push", Devices(),
                  R"([{"op": "connect"}, {"op": "put", "name": "big.jpg", "size": 20971520}, {"op": "close"}])");
    const auto& lines = peer.Result();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].substr(lines[1].size() - 6), "closed");
    EXPECT_LT(std::stoul(lines[2].substr(5)), 20971520u);  // "sent <bytes>": stopped short
    EXPECT_EQ(received.get(), 0);
    EXPECT_TRUE(InboxNames().empty());
}

// A body larger than its announced Length is refused at the first byte too
// many and ends the exchange; an oversized packet after a whole object ends
// it too, and the object goes with it.
TEST_F(IrdaPeerTest, BodiesBeyondTheirLengthAndOversizedPacketsEndTheExchange) {
    {
        ReceiverRun receiver;
        auto received = StartReceiver(Inbox(), &receiver);
        ObexPeer peer("push", Devices(),
                      R"([{"op": "connect"}, {"op": "put", "name": "long.jpg", "size": 20971520, "length": 1},
                          {"op": "disconnect"}])");
        EXPECT_EQ(peer.Result(), (std::vector<std::string>{"connect a0", "put 90 cd", "sent 0", "disconnect closed"}));
        EXPECT_EQ(received.get(), 0);
        EXPECT_TRUE(InboxNames().empty());
    }
    {
        const std::string source = Source("whole.jpg", 300, 4);
        std::vector<uint8_t> oversized =
            Packet(kObexPut, Join({NameHeader(u"x.jpg"), BodyHeader(0x48, std::string(3000, 'x'))}));
        ReceiverRun receiver;
        auto received = StartReceiver(Inbox(), &receiver);
        ObexPeer peer("push", Devices(),
                      R"([{"op": "connect", "max": 1024}, {"op": "put", "name": "whole.jpg", "file": ")" + source +
                          R"("}, {"op": "raw", "hex": ")" + HexText(oversized.data(), oversized.size()) +
                          R"("}, {"op": "disconnect"}])");
        EXPECT_EQ(peer.Result(),
                  (std::vector<std::string>{"connect a0", "put 90 a0", "sent 300", "raw cd", "disconnect closed"}));
        EXPECT_EQ(received.get(), 0);
        EXPECT_TRUE(InboxNames().empty());
    }
}

// A device that takes the connection and never answers: the sender gives up
// after its idle time, and at once when the user cancels.
TEST_F(IrdaPeerTest, ASenderLeavesAMuteDevice) {
    const std::wstring source = outbox_.File("a.jpg");
    WriteBytes(source, RandomBytes(5000, 5));
    {
        ObexPeer peer("serve", Devices(), R"({"mute": true, "hold": 60})");
        ASSERT_TRUE(WaitForDevice(600));
        SenderRun sender;
        EXPECT_EQ(IrdaSendFile(L"", source.c_str(), SenderCallback, &sender, 500), kIrdaSendFailed);
        EXPECT_EQ(peer.Result(), std::vector<std::string>{"mute closed"});
    }
    {
        ObexPeer peer("serve", Devices(), R"({"mute": true, "hold": 30})");
        ASSERT_TRUE(WaitForDevice(600));
        struct Counted {
            std::atomic<int> calls{0};
        } counted;
        // Discovery and connection ask first; the waits for the device after.
        auto cancelLater = [](void* context, const wchar_t*, int) {
            return static_cast<Counted*>(context)->calls.fetch_add(1) >= 3 ? 1 : 0;
        };
        EXPECT_EQ(IrdaSendFile(L"", source.c_str(), cancelLater, &counted, 120000), kIrdaSendCancelled);
        EXPECT_EQ(peer.Result(), std::vector<std::string>{"mute closed"});
        EXPECT_GE(counted.calls.load(), 4);
    }
}

// A peer pushes one object more than an exchange takes, all named "a.jpg":
// the last is refused, the others are stored and each stored name is told
// to the callback as it is stored, so that Cancel acts there too and then
// leaves nothing.
TEST_F(IrdaPeerTest, AFloodOfObjectsStopsAtTheLimitAndCancelReachesTheStore) {
    std::string script = R"([{"op": "connect", "max": 2048})";
    for (size_t i = 0; i <= kObexMaxObjects; ++i) script += R"(, {"op": "put", "name": "a.jpg", "size": 10})";
    script += R"(, {"op": "disconnect"}])";
    const std::wstring third = L"a (3).jpg";
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled while storing" : "stored");
        struct Run {
            bool cancel;
            std::wstring third;
            std::vector<std::wstring> told;
        } run{cancel, third, {}};
        auto callback = [](void* context, const wchar_t* text, int) {
            auto* r = static_cast<Run*>(context);
            if (text) r->told.push_back(text);
            return r->cancel && text && r->third == text ? 1 : 0;
        };
        std::vector<std::wstring> names;
        auto received = std::async(std::launch::async, [&] {
            return IrdaReceiveFile(Inbox().c_str(), &names, callback, &run);
        });
        ObexPeer peer("push", Devices(), script);
        const auto& lines = peer.Result();
        ASSERT_EQ(lines.size(), 2 * kObexMaxObjects + 4);
        EXPECT_EQ(lines[2 * kObexMaxObjects - 1], "put 90 a0");
        EXPECT_EQ(lines[2 * kObexMaxObjects + 1], "put e0");
        EXPECT_EQ(lines.back(), "disconnect closed");
        const int result = received.get();
        if (cancel) {
            EXPECT_EQ(result, kObexReceiveFailed);
            EXPECT_TRUE(InboxNames().empty());
            EXPECT_EQ(run.told.back(), third);
        } else {
            EXPECT_EQ(result, kObexReceiveLimited);
            ASSERT_EQ(names.size(), kObexMaxObjects);
            EXPECT_EQ(names.back(), L"a (" + std::to_wstring(kObexMaxObjects) + L").jpg");
            EXPECT_EQ(InboxNames().size(), kObexMaxObjects);
            // Told at each object's start, then as each is stored.
            ASSERT_EQ(run.told.size(), 2 * kObexMaxObjects);
            EXPECT_EQ(std::vector<std::wstring>(run.told.begin() + kObexMaxObjects, run.told.end()), names);
            for (const std::wstring& name : names) fs::remove(inbox_.path() / name);
        }
    }
}
