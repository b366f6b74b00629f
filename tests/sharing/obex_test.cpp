// OBEX packets, the receiving server's answers, and whole exchanges between
// two copies over the infrared stand-in (both targets).
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <random>
#include <thread>

#include "platform/irsock.h"
#include "tests/support/bytes.h"
#include "tests/support/testfiles.h"
#include "tools/irda.h"
#include "tools/obex.h"

using namespace testing_support;

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
        IrSetRegistryFolder((registry_.path() / "devices").u8string());
        fs::create_directories(inbox_.path());
    }
    void TearDown() override { IrSetRegistryFolder(""); }
    std::wstring Inbox() const { return inbox_.path().wstring() + L"/"; }

    ScratchDir registry_;
    ScratchDir inbox_;
    ScratchDir outbox_;
};

struct ReceiverRun {
    std::atomic<int> cancel{0};
    std::atomic<int> calls{0};
    std::wstring name;
    std::vector<int> percents;
};

int ReceiverCallback(void* context, const wchar_t* text, int value) {
    auto* run = static_cast<ReceiverRun*>(context);
    ++run->calls;
    if (value) run->percents.push_back(value);
    return run->cancel.load();
}

std::future<int> StartReceiver(const std::wstring& folder, ReceiverRun* run) {
    return std::async(std::launch::async, [folder, run] {
        wchar_t name[260] = {};
        const int result = IrdaReceiveFile(folder.c_str(), name, 260, ReceiverCallback, run);
        run->name = name;
        return result;
    });
}

// Waits until a receiver has published its device.
bool WaitForDevice() {
    IrDeviceInfo devices[4];
    for (int i = 0; i < 200; ++i) {
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
        {u"trail.jpg.", L""},
        {u"trail.jpg ", L""},
        {u"nul_x.jpg", L"nul_x.jpg"},
        {std::u16string(259, u'n'), std::wstring(259, L'n')},
        {std::u16string(260, u'n'), L""},
    };
    for (const auto& c : cases) EXPECT_EQ(ObexSafeName(c.in), c.out);
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

    // Name, Length and End of Body in one final PUT store a whole file.
    EXPECT_EQ(send(Packet(kObexPutFinal, Join({NameHeader(u"one.jpg"), BodyHeader(0x49, "12345")}))), kObexSuccess);
    EXPECT_TRUE(state.haveFile);
    EXPECT_EQ(ReadBytes(state.folder + L"one.jpg"), (std::vector<uint8_t>{'1', '2', '3', '4', '5'}));

    EXPECT_EQ(send(Packet(kObexPut, NameHeader(u".."))), kObexForbidden);
    EXPECT_EQ(send(Packet(kObexPut, BodyHeader(0x48, "orphan"))), kObexBadRequest);
    EXPECT_EQ(send(Packet(0x03, {})), kObexNotImplemented);          // GET
    EXPECT_EQ(send(Packet(0x85, {0, 0})), kObexNotImplemented);      // SETPATH
    EXPECT_EQ(send(Packet(kObexPut, {0x48, 0, 1})), kObexBadRequest);  // malformed

    // An aborted transfer leaves nothing behind, not even its temporary file.
    EXPECT_EQ(send(Packet(kObexPut, Join({NameHeader(u"two.jpg"), BodyHeader(0x48, "part")}))), kObexContinue);
    EXPECT_EQ(send(Packet(kObexAbort, {})), kObexSuccess);
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) files += entry.path().filename() != "one.jpg";
    EXPECT_EQ(files, 0u);

    ObexHandleRequest(&state, ObexShortPacket(kObexDisconnect).data(), 3, &response);
    EXPECT_TRUE(state.disconnected);
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
        EXPECT_EQ(receiver.name, name);  // the base name, not the sender's path
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
    EXPECT_EQ(IrdaSendFile(L"", source.c_str(), SenderCallback, &sender), 0);
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
    EXPECT_EQ(IrdaSendFile(L"", source.c_str(), SenderCallback, &sender), 0);
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
    EXPECT_EQ(receiver.name, L"late.jpg");
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
