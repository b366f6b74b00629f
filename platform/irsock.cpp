// The infrared stand-in over loopback TCP and a folder of device records.
//
// A device record "dev-<id hex>.txt" holds, one per line:
//   pid <n>                      0 for a bridge, which lives until removed
//   name <device name>
//   host <numeric address>
//   service <lsap> <port> <service name>
//   ias <class> <attribute> <hex bytes>
// Records are written to a temporary name and renamed, so a reader sees a
// whole record or none.
#include "platform/irsock.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/irnet.h"

namespace fs = std::filesystem;

namespace {

struct IasEntry {
    std::string className;
    std::string attribute;
    std::vector<uint8_t> value;
};

struct DeviceRecord {
    uint32_t id = 0;
    uint32_t pid = 0;
    std::string name;
    std::string host = "127.0.0.1";
    int lsap = 0;
    uint16_t port = 0;
    std::string service;
    std::vector<IasEntry> ias;
};

struct IrSocketState {
    irnet::Handle handle = irnet::kInvalid;
    std::string service;
    uint32_t device = 0;  // published record, removed at close
    std::vector<IasEntry> ias;
};

std::mutex g_portsLock;
std::map<std::string, uint16_t>& FixedPorts() {
    static std::map<std::string, uint16_t> ports;
    return ports;
}

IrSocketState* State(IrSocket socket) { return reinterpret_cast<IrSocketState*>(socket); }

fs::path Folder() { return fs::u8path(IrRegistryFolder()); }

fs::path RecordPath(uint32_t id) {
    char name[32];
    std::snprintf(name, sizeof name, "dev-%08x.txt", unsigned(id));
    return Folder() / name;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char pair[3];
    for (uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", b);
        text += pair;
    }
    return text.empty() ? "-" : text;
}

std::vector<uint8_t> Unhex(const std::string& text) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) bytes.push_back(uint8_t(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

bool WriteRecord(const DeviceRecord& record) {
    std::error_code error;
    fs::create_directories(Folder(), error);
    std::ostringstream text;
    text << "pid " << record.pid << "\nname " << record.name << "\nhost " << record.host << "\nservice "
         << record.lsap << ' ' << record.port << ' ' << record.service << '\n';
    for (const IasEntry& entry : record.ias)
        text << "ias " << entry.className << ' ' << entry.attribute << ' ' << Hex(entry.value) << '\n';
    const fs::path final = RecordPath(record.id);
    fs::path temp = final;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text.str();
        if (!out.flush()) return false;
    }
    fs::rename(temp, final, error);
    return !error;
}

bool ReadRecord(const fs::path& path, DeviceRecord* record) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::string file = path.filename().u8string();
    unsigned id = 0;
    if (std::sscanf(file.c_str(), "dev-%8x.txt", &id) != 1 || id == 0) return false;
    record->id = id;
    std::string line;
    bool haveService = false;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "pid") {
            words >> record->pid;
        } else if (key == "name") {
            std::getline(words >> std::ws, record->name);
        } else if (key == "host") {
            words >> record->host;
        } else if (key == "service") {
            words >> record->lsap >> record->port >> record->service;
            haveService = !words.fail();
        } else if (key == "ias") {
            IasEntry entry;
            std::string hex;
            words >> entry.className >> entry.attribute >> hex;
            if (words.fail()) continue;
            if (hex != "-") entry.value = Unhex(hex);
            record->ias.push_back(entry);
        }
    }
    return haveService;
}

// Live records; those of ended processes are removed on the way.
std::vector<DeviceRecord> LiveRecords() {
    std::vector<DeviceRecord> records;
    std::error_code error;
    fs::directory_iterator it(Folder(), error), end;
    for (; !error && it != end; it.increment(error)) {
        const fs::path path = it->path();
        if (path.extension() != ".txt") continue;
        DeviceRecord record;
        if (!ReadRecord(path, &record)) continue;
        if (record.pid != 0 && !irnet::ProcessAlive(record.pid)) {
            std::error_code ignored;
            fs::remove(path, ignored);
            continue;
        }
        records.push_back(record);
    }
    return records;
}

bool FindRecord(uint32_t device, DeviceRecord* record) {
    return ReadRecord(RecordPath(device), record) && (record->pid == 0 || irnet::ProcessAlive(record->pid));
}

uint32_t NewDeviceId() {
    static std::atomic<uint32_t> counter{0};
    const auto now = uint32_t(std::chrono::steady_clock::now().time_since_epoch().count());
    for (;;) {
        uint32_t id = (irnet::ProcessId() * 2654435761u) ^ (++counter * 40503u) ^ now;
        if (id == 0) continue;
        std::error_code error;
        if (!fs::exists(RecordPath(id), error)) return id;
    }
}

}  // namespace

std::string& RegistryOverride() {
    static std::string folder;
    return folder;
}

std::string IrRegistryFolder() {
    std::lock_guard<std::mutex> hold(g_portsLock);
    return RegistryOverride().empty() ? irnet::DefaultRegistryFolder() : RegistryOverride();
}

void IrSetRegistryFolder(const std::string& folder) {
    std::lock_guard<std::mutex> hold(g_portsLock);
    RegistryOverride() = folder;
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') RegistryOverride() += '/';
}

int IrStartup() { return irnet::Startup(); }
void IrCleanup() { irnet::Cleanup(); }

IrSocket IrOpenStream() { return reinterpret_cast<IrSocket>(new IrSocketState); }

void IrClose(IrSocket socket) {
    IrSocketState* state = State(socket);
    if (!state) return;
    if (state->device) {
        std::error_code ignored;
        fs::remove(RecordPath(state->device), ignored);
    }
    if (state->handle != irnet::kInvalid) irnet::Close(state->handle);
    delete state;
}

int IrEnumerateDevices(IrDeviceInfo* list, int capacity) {
    if (!list || capacity < 0) return -1;
    int count = 0;
    for (const DeviceRecord& record : LiveRecords()) {
        if (count == capacity) break;
        IrDeviceInfo& info = list[count++];
        std::memset(&info, 0, sizeof info);
        info.id = record.id;
        std::snprintf(info.name, sizeof info.name, "%s", record.name.c_str());
    }
    return count;
}

int IrSetIasString(IrSocket socket, const char* className, const char* attribute, const uint8_t* value,
                   size_t length) {
    IrSocketState* state = State(socket);
    if (!state || !className || !attribute || !*className || !*attribute || (length && !value) || length > 255)
        return -1;
    if (std::strpbrk(className, " \r\n") || std::strpbrk(attribute, " \r\n")) return -1;
    IasEntry entry{className, attribute, std::vector<uint8_t>(value, value + length)};
    state->ias.push_back(entry);
    return 0;
}

int IrQueryIasInteger(uint32_t device, const char* className, const char* attribute, int32_t* value) {
    DeviceRecord record;
    if (!value || !className || !attribute || !FindRecord(device, &record)) return -1;
    if (std::strcmp(attribute, "IrDA:TinyTP:LsapSel") == 0 && record.service == className) {
        *value = record.lsap;
        return 0;
    }
    return -1;
}

int IrBind(IrSocket socket, const char* serviceName) {
    IrSocketState* state = State(socket);
    if (!state || !serviceName || !*serviceName || std::strlen(serviceName) > 24 ||
        std::strpbrk(serviceName, " \r\n") || !state->service.empty())
        return -1;
    state->service = serviceName;
    return 0;
}

int IrListen(IrSocket socket, int backlog) {
    IrSocketState* state = State(socket);
    if (!state || state->service.empty() || state->handle != irnet::kInvalid) return -1;
    uint16_t wanted = 0;
    {
        std::lock_guard<std::mutex> hold(g_portsLock);
        auto it = FixedPorts().find(state->service);
        if (it != FixedPorts().end()) wanted = it->second;
    }
    uint16_t port = 0;
    state->handle = irnet::Listen(wanted, backlog, &port);
    if (state->handle == irnet::kInvalid) return -1;
    DeviceRecord record;
    record.id = NewDeviceId();
    record.pid = irnet::ProcessId();
    record.name = "Pocket_PC";
    record.port = port;
    record.lsap = 1 + port % 0x6F;  // IrLMP selectors run 0x01-0x6F
    record.service = state->service;
    record.ias = state->ias;
    if (!WriteRecord(record)) return -1;
    state->device = record.id;
    return 0;
}

int IrWaitReadable(IrSocket socket, int timeoutMs) {
    IrSocketState* state = State(socket);
    if (!state || state->handle == irnet::kInvalid) return -1;
    return irnet::WaitReadable(state->handle, timeoutMs);
}

IrSocket IrAccept(IrSocket listening) {
    IrSocketState* state = State(listening);
    if (!state || state->handle == irnet::kInvalid) return kIrInvalidSocket;
    const irnet::Handle handle = irnet::Accept(state->handle);
    if (handle == irnet::kInvalid) return kIrInvalidSocket;
    auto* accepted = new IrSocketState;
    accepted->handle = handle;
    return reinterpret_cast<IrSocket>(accepted);
}

int IrConnect(IrSocket socket, uint32_t device, const char* serviceName) {
    IrSocketState* state = State(socket);
    DeviceRecord record;
    if (!state || !serviceName || state->handle != irnet::kInvalid || !FindRecord(device, &record)) return -1;
    int lsap = 0;
    const bool byLsap = std::sscanf(serviceName, "LSAP-SEL%d", &lsap) == 1;
    if (byLsap ? lsap != record.lsap : record.service != serviceName) return -1;
    state->handle = irnet::Connect(record.host.c_str(), record.port);
    return state->handle == irnet::kInvalid ? -1 : 0;
}

long IrSend(IrSocket socket, const void* data, size_t length) {
    IrSocketState* state = State(socket);
    if (!state || state->handle == irnet::kInvalid) return -1;
    return irnet::Send(state->handle, data, length);
}

int IrLastError() { return irnet::LastError(); }

long IrRecv(IrSocket socket, void* buffer, size_t capacity) {
    IrSocketState* state = State(socket);
    if (!state || state->handle == irnet::kInvalid) return -1;
    return irnet::Recv(state->handle, buffer, capacity);
}

uint32_t IrAddBridgeDevice(const char* name, const char* host, uint16_t port) {
    if (!name || !host || !*host || std::strpbrk(host, " \r\n") || std::strpbrk(name, "\r\n")) return 0;
    DeviceRecord record;
    record.id = NewDeviceId();
    record.pid = 0;
    record.name = name;
    record.host = host;
    record.port = port;
    record.lsap = 1 + port % 0x6F;
    record.service = "OBEX";
    return WriteRecord(record) ? record.id : 0;
}

void IrRemoveBridgeDevice(uint32_t device) {
    std::error_code ignored;
    fs::remove(RecordPath(device), ignored);
}

void IrSetServicePort(const char* serviceName, uint16_t port) {
    if (!serviceName) return;
    std::lock_guard<std::mutex> hold(g_portsLock);
    if (port)
        FixedPorts()[serviceName] = port;
    else
        FixedPorts().erase(serviceName);
}
