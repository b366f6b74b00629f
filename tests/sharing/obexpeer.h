// The other infrared device in a test: tests/sharing/obex_peer.py, run by
// Debian's /usr/bin/python3 on both targets. Natively it is a child process;
// under Wine it is a Unix program that Wine starts without a handle to wait
// on, so on both targets the peer's result file is what is waited for (the
// peer gives up by itself after its own holds).
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/testfiles.h"

#ifndef _WIN32
extern char** environ;
#endif

namespace testing_support {

// A path as the Unix side sees it (under Wine, through Wine's own mapping).
inline std::string UnixPath(const fs::path& path) {
#ifdef _WIN32
    using Convert = char*(__cdecl*)(const wchar_t*);
    const auto convert =
        reinterpret_cast<Convert>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name"));
    if (!convert) return std::string();
    char* unix = convert(fs::absolute(path).wstring().c_str());
    if (!unix) return std::string();
    const std::string text = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return text;
#else
    return fs::absolute(path).string();
#endif
}

inline bool PythonPresent() {
#ifdef _WIN32
    return GetFileAttributesW(L"Z:\\usr\\bin\\python3") != INVALID_FILE_ATTRIBUTES;
#else
    return access("/usr/bin/python3", X_OK) == 0;
#endif
}

class ObexPeer {
public:
    // Starts "obex_peer.py <mode> <registry> <script file> <result file>";
    // `script` is the JSON text of its steps.
    ObexPeer(const std::string& mode, const fs::path& registry, const std::string& script) {
        fs::create_directories(registry);
        std::ofstream(scratch_.path() / "script.json") << script;
        result_ = scratch_.path() / "result.txt";
        const std::vector<std::string> args{UnixPath(fs::path(PV_SOURCE_DIR) / "tests/sharing/obex_peer.py"), mode,
                                            UnixPath(registry), UnixPath(scratch_.path() / "script.json"),
                                            UnixPath(result_)};
#ifdef _WIN32
        std::wstring command = L"Z:\\usr\\bin\\python3";
        for (const std::string& arg : args) command += L" \"" + Utf8ToWide(arg.c_str()) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        started_ = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &process) != 0;
        if (process.hProcess) CloseHandle(process.hProcess);
        if (process.hThread) CloseHandle(process.hThread);
#else
        std::vector<std::string> all{"/usr/bin/python3"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all) argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        started_ = posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) == 0;
#endif
    }
    ~ObexPeer() {
        Result();
#ifndef _WIN32
        if (pid_ > 0) {
            if (waitpid(pid_, nullptr, WNOHANG) == 0) kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
#endif
    }
    ObexPeer(const ObexPeer&) = delete;
    ObexPeer& operator=(const ObexPeer&) = delete;

    bool started() const { return started_; }

    // The peer's result lines once it has written them, waiting at most
    // `seconds`; empty when it never did.
    const std::vector<std::string>& Result(int seconds = 120) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (started_ && lines_.empty() && std::chrono::steady_clock::now() < deadline) {
            std::ifstream in(result_);
            for (std::string line; std::getline(in, line);) lines_.push_back(line);
            if (lines_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return lines_;
    }

private:
    ScratchDir scratch_;
    fs::path result_;
    bool started_ = false;
    std::vector<std::string> lines_;
#ifndef _WIN32
    pid_t pid_ = -1;
#endif
};

}  // namespace testing_support
