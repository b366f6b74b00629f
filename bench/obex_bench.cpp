// A 10 MB picture pushed over OBEX between two copies on the infrared
// stand-in, against a plain TCP copy of the same bytes between the same two
// ends (both write the received file). The ratio is bounded by OBEX itself:
// one request and one answer per packet of at most 1,024 bytes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include "imagelib/textutil.h"
#include "platform/irnet.h"
#include "platform/irsock.h"
#include "tools/irda.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kSize = 10u << 20;

struct Folders {
    fs::path root = fs::temp_directory_path() / ("pv-obex-bench-" + std::to_string(irnet::ProcessId()));
    fs::path source = root / "source.jpg";
    fs::path inbox = root / "inbox";
    Folders() {
        fs::create_directories(inbox);
        std::vector<char> bytes(kSize);
        std::mt19937 generator{42};
        for (auto& b : bytes) b = char(generator());
        std::ofstream(source, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        IrSetRegistryFolder((root / "devices").u8string());
    }
    ~Folders() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

Folders& Shared() {
    static Folders folders;
    return folders;
}

void BM_ObexOverInfraredStandIn(benchmark::State& state) {
    Folders& f = Shared();
    const std::wstring inbox = f.inbox.wstring() + L"/";
    const std::wstring source = f.source.wstring();
    for (auto _ : state) {
        int received = 0;
        std::vector<std::wstring> names;
        std::thread receiver([&] { received = IrdaReceiveFile(inbox.c_str(), &names, nullptr, nullptr); });
        IrDeviceInfo devices[2];
        while (IrEnumerateDevices(devices, 2) == 0) std::this_thread::yield();
        const int sent = IrdaSendFile(L"", source.c_str(), nullptr, nullptr);
        receiver.join();
        // Received files never replace one another: each run clears its own.
        for (const std::wstring& name : names) fs::remove(f.inbox / fs::path(name));
        if (!sent || !received) {
            state.SkipWithError("the OBEX transfer failed");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}
BENCHMARK(BM_ObexOverInfraredStandIn)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainTcpCopy(benchmark::State& state) {
    Folders& f = Shared();
    irnet::Startup();
    for (auto _ : state) {
        uint16_t port = 0;
        const irnet::Handle listening = irnet::Listen(0, 1, &port);
        bool ok = listening != irnet::kInvalid;
        std::thread receiver([&] {
            const irnet::Handle c = irnet::Accept(listening);
            FILE* out = std::fopen((f.inbox / "copy.jpg").string().c_str(), "wb");
            std::vector<char> buffer(65536);
            long n;
            while ((n = irnet::Recv(c, buffer.data(), buffer.size())) > 0) std::fwrite(buffer.data(), 1, size_t(n), out);
            std::fclose(out);
            irnet::Close(c);
        });
        const irnet::Handle c = irnet::Connect("127.0.0.1", port);
        FILE* in = std::fopen(f.source.string().c_str(), "rb");
        std::vector<char> buffer(65536);
        size_t n;
        while (ok && (n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) ok = irnet::Send(c, buffer.data(), n) == long(n);
        std::fclose(in);
        irnet::Close(c);
        receiver.join();
        irnet::Close(listening);
        if (!ok) {
            state.SkipWithError("the TCP copy failed");
            break;
        }
    }
    irnet::Cleanup();
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}
BENCHMARK(BM_PlainTcpCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
