// Interoperation with an OBEX implementation no one here wrote: openobex's
// obex_tcp (Debian openobex-apps), which speaks OBEX over plain TCP on port
// 650. Our sender pushes to it through a bridge device, and it pushes to our
// receiver, whose "OBEX" service then listens on that port. Native only.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <future>
#include <random>
#include <sstream>
#include <thread>

#include "platform/irsock.h"
#include "tests/support/missingoracle.h"
#include "tests/support/testfiles.h"
#include "tools/irda.h"

extern char** environ;

using namespace testing_support;

namespace {

constexpr uint16_t kObexTcpPort = 650;

// obex_tcp with its working folder and output in `folder`; its pid.
pid_t Spawn(const fs::path& folder, const std::vector<std::string>& args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    const std::string log = (folder / "obex_tcp.log").string();
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv;
    std::vector<std::string> all{"obex_tcp"};
    all.insert(all.end(), args.begin(), args.end());
    for (auto& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, "obex_tcp", &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// True when a socket on this machine has the port as its local one, in the
// state given ("0A" listening) or in any state (empty).
bool PortInState(uint16_t port, const std::string& wanted_state) {
    char wanted[16];
    std::snprintf(wanted, sizeof wanted, ":%04X ", port);
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string slot, local, remote, state;
            words >> slot >> local >> remote >> state;
            if ((local + " ").find(wanted) != std::string::npos && (wanted_state.empty() || state == wanted_state))
                return true;
        }
    }
    return false;
}

bool Listening(uint16_t port) { return PortInState(port, "0A"); }

// obex_tcp binds its port without reusing it, so a closing wait left there
// by an earlier run must pass first.
bool WaitPortFree(uint16_t port) {
    for (int i = 0; i < 700 && PortInState(port, ""); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return !PortInState(port, "");
}

int WaitExit(pid_t pid, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -2;
}

std::vector<uint8_t> RandomBytes(size_t n) {
    std::mt19937 generator{unsigned(n)};
    std::vector<uint8_t> bytes(n);
    for (auto& b : bytes) b = uint8_t(generator());
    return bytes;
}

class ObexTcpTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v obex_tcp >/dev/null 2>&1") != 0) PV_ORACLE_MISSING("obex_tcp (openobex-apps)");
        IrSetRegistryFolder((registry_.path() / "devices").u8string());
    }
    void TearDown() override {
        IrSetRegistryFolder("");
        IrSetServicePort("OBEX", 0);
    }
    ScratchDir registry_;
    ScratchDir peer_;
    ScratchDir ours_;
};

}  // namespace

TEST_F(ObexTcpTest, OurSenderPushesToObexTcp) {
    ASSERT_TRUE(WaitPortFree(kObexTcpPort)) << "port 650 is taken";
    const pid_t server = Spawn(peer_.path(), {});
    ASSERT_GT(server, 0);
    for (int i = 0; i < 300 && !Listening(kObexTcpPort); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const uint32_t bridge = IrAddBridgeDevice("obex_tcp", "127.0.0.1", kObexTcpPort);
    ASSERT_NE(bridge, 0u);
    const auto bytes = RandomBytes(5000);
    const std::wstring source = ours_.File("sent.jpg");
    WriteBytes(source, bytes);
    EXPECT_EQ(IrdaSendFile(L"", source.c_str(), nullptr, nullptr), 1);
    IrRemoveBridgeDevice(bridge);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    kill(server, SIGTERM);
    WaitExit(server, 2000);
    std::ifstream log(peer_.path() / "obex_tcp.log");
    const std::string said((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_EQ(ReadBytes((peer_.path() / "sent.jpg").wstring()), bytes) << said;
}

TEST_F(ObexTcpTest, ObexTcpPushesToOurReceiver) {
    ASSERT_TRUE(WaitPortFree(kObexTcpPort)) << "port 650 is taken";
    IrSetServicePort("OBEX", kObexTcpPort);
    const auto bytes = RandomBytes(70000);
    WriteBytes((peer_.path() / "pushed.jpg").wstring(), bytes);
    const std::wstring inbox = ours_.path().wstring() + L"/";
    auto received = std::async(std::launch::async, [inbox] {
        std::vector<std::wstring> names;
        const int result = IrdaReceiveFile(inbox.c_str(), &names, nullptr, nullptr);
        return std::make_pair(result, names);
    });
    for (int i = 0; i < 300 && !Listening(kObexTcpPort); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const pid_t client = Spawn(peer_.path(), {"pushed.jpg", "127.0.0.1"});
    ASSERT_GT(client, 0);
    EXPECT_EQ(WaitExit(client, 10000), 0);
    const auto [result, names] = received.get();
    std::ifstream log(peer_.path() / "obex_tcp.log");
    const std::string said((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_EQ(result, 1) << said;
    EXPECT_EQ(names, std::vector<std::wstring>{L"pushed.jpg"});
    EXPECT_EQ(ReadBytes(inbox + L"pushed.jpg"), bytes);
}
