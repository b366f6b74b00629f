// The run-time format registry: a reference-counted copy of a format table,
// built and freed under one mutex. Readers take no lock: a finished registry
// is published through one atomic pointer (release), so a reader on any
// thread sees either no registry or a complete one, never a half-built one.
#include "formats.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>

#include "geometry.h"
#include "textutil.h"

namespace {

struct FormatRegistry {
    FormatRow* rows = nullptr;
    int count = 0;
    int capacity = 0;
    int references = 0;
};

FormatRegistry g_registry;
// &g_registry once it is complete; null while it is built or freed.
std::atomic<const FormatRegistry*> g_published{nullptr};

const FormatRegistry* Published() { return g_published.load(std::memory_order_acquire); }

// A function-local static is created once, safely, before any caller can
// race on it; it lives for the whole process.
std::mutex& RegistryMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

void LockFormatRegistry() { RegistryMutex().lock(); }
void UnlockFormatRegistry() { RegistryMutex().unlock(); }

void RegisterFormatsFromTable(const FormatRow* table, int tableCount) {
    LockFormatRegistry();
    if (g_registry.references > 0) {
        ++g_registry.references;
        UnlockFormatRegistry();
        return;
    }
    FormatsInitHookFirst();
    FormatsInitHookSecond();
    g_registry.count = 0;
    g_registry.capacity = kFormatRegistryCapacity;
    g_registry.references = 1;
    g_registry.rows = static_cast<FormatRow*>(std::calloc(kFormatRegistryCapacity, sizeof(FormatRow)));
    if (!g_registry.rows) {
        // An empty registry; the reference is still taken so that the
        // matching FreeFormatRegistry balances it.
        g_registry.capacity = 0;
        UnlockFormatRegistry();
        return;
    }
    for (int i = 0; i < tableCount && g_registry.count < g_registry.capacity; ++i) {
        const FormatRow& row = table[i];
        if (row.availableFn && (row.availableFn() & 0xFFFF) == 0) continue;
        FormatRow& copy = g_registry.rows[g_registry.count++];
        copy = row;
        if (copy.readFn) copy.flags |= kFormatHasReader;
        if (copy.writeFn) copy.flags |= kFormatHasWriter;
    }
    g_published.store(&g_registry, std::memory_order_release);
    UnlockFormatRegistry();
}

void RegisterFormats(int /*includeAll*/, int, int) {
    RegisterFormatsFromTable(kBuiltinFormats, kBuiltinFormatCount);
}

void InitFormatRegistry() { RegisterFormats(1, 0, 0); }

void FreeFormatRegistry() {
    LockFormatRegistry();
    if (g_registry.references <= 0) {
        UnlockFormatRegistry();
        return;
    }
    if (--g_registry.references > 0) {
        UnlockFormatRegistry();
        return;
    }
    g_published.store(nullptr, std::memory_order_release);
    FormatsExitHook();
    for (int i = 0; i < g_registry.count; ++i) {
        FormatRow& row = g_registry.rows[i];
        if (row.releaseFn) {
            uint32_t scratch = 0;
            row.releaseFn(&scratch);
        }
        if (row.flags & kFormatOwnsTexts) {
            std::free(const_cast<char*>(row.shortName));
            std::free(const_cast<char*>(row.description));
            for (const char*& ext : row.extensions) {
                std::free(const_cast<char*>(ext));
                ext = nullptr;
            }
        }
    }
    std::free(g_registry.rows);
    g_registry = FormatRegistry{};
    UnlockFormatRegistry();
}

int GetFormatCount() {
    const FormatRegistry* registry = Published();
    return registry && registry->rows ? registry->count : 0;
}

const FormatRow* GetFormatRow(int index) {
    const FormatRegistry* registry = Published();
    if (!registry || !registry->rows || index < 0 || index >= registry->count) return nullptr;
    return &registry->rows[index];
}

int FindFormatByName(const char* shortName) {
    if (!shortName) return -1;
    for (int i = 0; i < GetFormatCount(); ++i) {
        const FormatRow* row = GetFormatRow(i);
        const char* name = row ? row->shortName : nullptr;
        if (name && std::strcmp(name, shortName) == 0) return i;
    }
    return -1;
}

const char* GetFormatShortName(int index) {
    const FormatRow* row = GetFormatRow(index);
    return row ? row->shortName : nullptr;
}

const char* GetFormatDefaultExtension(int index) {
    const FormatRow* row = GetFormatRow(index);
    return row ? row->extensions[0] : nullptr;
}

int DescribeFormat(int index, FormatDescription* d, int /*unused*/) {
    const FormatRow* row = GetFormatRow(index);
    if (!row || !d) return -1;
    FormatsCallHook(uint32_t(index));
    std::memset(d, 0, sizeof *d);
    CopyTextBounded(d->shortName, sizeof d->shortName, row->shortName);
    d->formatIndex = static_cast<uint16_t>(index);
    CopyTextBounded(d->description, sizeof d->description, row->description);
    if (row->flags & kFormatHasReader) d->access |= 1;
    if (row->flags & kFormatHasWriter) d->access |= 2;
    for (int i = 0; i < kFormatExtensionSlots && row->extensions[i]; ++i)
        CopyTextBounded(d->extensions[i], sizeof d->extensions[i], row->extensions[i]);
    for (FormatCapability& option : d->options) option = FormatCapability{kCapabilityEmpty, 65535, -1, -1, nullptr};
    if (row->optionsFn) row->optionsFn(d->options, row);
    return 0;
}

const char* GetColourSpaceName(uint16_t code) {
    switch (code) {
        case 2: return "CMY";
        case 3: return "CMYK";
        case 4: return "YCbCr";
        case 5: return "YUV16";
        case 6: return "CIE Lab";
        case 7: return "CIE Log2(L) (u',v')";
        case 8: return "CIE Log2(L)";
        default: return "RGB";
    }
}

const char* GetCompressionName(uint16_t code) {
    static const char* const kNames[] = {
        "Uncompressed", "Rle", "LZW", "JPEG", "ZIP", "Sgi Rle", "CCITT Rle",
        "CCITT Group 3", "CCITT Group 3-2D", "CCITT Group 4", "Wavelet",
    };
    if (code == 255) return nullptr;
    if (code < sizeof kNames / sizeof *kNames) return kNames[code];
    return kNames[0];
}

void FormatCompressionText(char* dst, size_t capacity, uint16_t code, const char* fallback) {
    const char* name = GetCompressionName(code);
    CopyTextBounded(dst, capacity, name ? name : (fallback ? fallback : ""));
}

int IsLzwEnabled() {
    static const int kLzwEnabled = 1;
    return kLzwEnabled;
}

void RemoveFileExtension(wchar_t* name) {
    if (!name) return;
    wchar_t* base = std::wcsrchr(name, L'\\');
    if (!base) base = std::wcsrchr(name, L'/');
    base = base ? base + 1 : name;
    wchar_t* dot = std::wcsrchr(base, L'.');
    if (!dot || dot == base) return;
    if (dot[1] >= L'0' && dot[1] <= L'9') return;
    *dot = L'\0';
}
