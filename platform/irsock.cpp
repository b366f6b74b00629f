// The infrared stand-in over loopback TCP and a folder of device records
// (their text is irrecord.h's). Records are written to a temporary name and
// renamed, so a reader sees a whole record or none.
#include "platform/irsock.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <vector>

#include "platform/irnet.h"
#include "platform/irrecord.h"

namespace fs = std::filesystem;

namespace {

// Records examined by one discovery: the folder is shared, so a flood of
// files there must not make a search endless.
constexpr int kMaxRecordsExamined = 256;

struct IrSocketState {
    irnet::Handle handle = irnet::kInvalid;
    std::string service;
    uint32_t device = 0;  // published record, removed at close
    std::vector<IrIasEntry> ias;
};

std::mutex g_portsLock;
std::map<std::string, uint16_t>& FixedPorts() {
    static std::map<std::string, uint16_t> ports;
    return ports;
}

IrSocketState* State(IrSocket socket) { return reinterpret_cast<IrSocketState*>(socket); }

fs::path Folder() { return fs::u8path(IrRegistryFolder()); }

fs::path RecordPath(uint32_t id) { return Folder() / IrRecordFileName(id); }

// The registry folder when it may be used (irnet::PrepareRegistryFolder).
bool ReadyFolder(fs::path* folder) {
    const std::string text = IrRegistryFolder();
    if (!irnet::PrepareRegistryFolder(text)) return false;
    *folder = fs::u8path(text);
    return true;
}

bool WriteRecord(const IrDeviceRecord& record) {
    fs::path folder;
    if (!ReadyFolder(&folder)) return false;
    const fs::path final = folder / IrRecordFileName(record.id);
    fs::path temp = final;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << IrFormatDeviceRecord(record);
        if (!out.flush()) return false;
    }
    std::error_code error;
    fs::rename(temp, final, error);
    return !error;
}

// Any process of the user may write into the folder: a name is read only
// when it is a regular file, without waiting on whatever else it may be.
bool ReadRecord(const fs::path& path, IrDeviceRecord* record) {
    if (!IrParseRecordFileName(path.filename().u8string(), &record->id)) return false;
    std::string text;
    return irnet::ReadRegularFile(path.u8string(), kIrRecordMaxBytes, &text) && IrParseDeviceRecord(text, record);
}

// Live records; those of ended processes are removed on the way.
std::vector<IrDeviceRecord> LiveRecords() {
    std::vector<IrDeviceRecord> records;
    fs::path folder;
    if (!ReadyFolder(&folder)) return records;
    std::error_code error;
    fs::directory_iterator it(folder, error), end;
    for (int examined = 0; !error && it != end && examined < kMaxRecordsExamined; it.increment(error)) {
        const fs::path path = it->path();
        if (path.extension() != ".txt") continue;
        ++examined;
        IrDeviceRecord record;
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

bool FindRecord(uint32_t device, IrDeviceRecord* record) {
    fs::path folder;
    return ReadyFolder(&folder) && ReadRecord(folder / IrRecordFileName(device), record) && (record->pid == 0 || irnet::ProcessAlive(record->pid));
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
    for (const IrDeviceRecord& record : LiveRecords()) {
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
    if (!state || !className || !attribute || !IrIsRecordWord(className) || !IrIsRecordWord(attribute) ||
        (length && !value) || length > kIrIasValueMax)
        return -1;
    IrIasEntry entry{className, attribute, std::vector<uint8_t>(value, value + length)};
    state->ias.push_back(entry);
    return 0;
}

int IrQueryIasInteger(uint32_t device, const char* className, const char* attribute, int32_t* value) {
    IrDeviceRecord record;
    if (!value || !className || !attribute || !FindRecord(device, &record)) return -1;
    if (std::strcmp(attribute, "IrDA:TinyTP:LsapSel") == 0 && record.service == className) {
        *value = record.lsap;
        return 0;
    }
    return -1;
}

int IrBind(IrSocket socket, const char* serviceName) {
    IrSocketState* state = State(socket);
    if (!state || !serviceName || !IrIsRecordWord(serviceName) || std::strlen(serviceName) > kIrServiceNameMax ||
        !state->service.empty())
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
    IrDeviceRecord record;
    record.id = NewDeviceId();
    record.pid = irnet::ProcessId();
    record.name = "Pocket_PC";
    record.port = port;
    record.lsap = kIrLsapMin + port % kIrLsapMax;
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
    IrDeviceRecord record;
    if (!state || !serviceName || state->handle != irnet::kInvalid || !FindRecord(device, &record)) return -1;
    int lsap = 0;
    const bool byLsap = IrParseLsapServiceName(serviceName, &lsap);
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
    if (!name || !host || !IrIsRecordWord(host) || !IrIsRecordText(name) || port == 0) return 0;
    IrDeviceRecord record;
    record.id = NewDeviceId();
    record.pid = 0;
    record.name = name;
    record.host = host;
    record.port = port;
    record.lsap = kIrLsapMin + port % kIrLsapMax;
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
