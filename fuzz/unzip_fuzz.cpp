// Extraction of arbitrary archives to files: every item (names from the
// archive, hostile ones included) extracted below a scratch base folder
// with the folders its name holds. Results must be the reader's codes; a
// name that would leave the base folder must be refused; a failed
// extraction must leave no file. The name helpers are checked on every
// stored name too. The scratch folder is removed after each input.
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <string>

#include "imagelib/fileio.h"
#include "imagelib/textutil.h"
#include "tempfiles.h"
#include "zip_fuzz.h"
#include "zip/zipname.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

// The joined path of a safe name stays below the base folder.
void CheckJoin(const wchar_t* base, const wchar_t* name) {
    wchar_t joined[kZipMaxPath];
    const size_t length = std::wcslen(name);
    if (!JoinZipPath(base, name, length, joined)) return;
    Check(std::wcsncmp(joined, base, std::wcslen(base)) == 0);
    if (!IsSafeRelativeName(name)) return;
    for (const wchar_t* p = joined + std::wcslen(base); *p; ++p) Check(*p != L':');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20) || fuzzing::ScratchStem().empty()) return 0;
    const std::wstring base = fuzzing::ScratchStem() + L".d/";
    std::error_code ec;
    std::filesystem::create_directories(fuzzing::FsPath(base), ec);
    if (ec) return 0;

    ZipHandle* h = OpenZipMemory(data, uint32_t(size), (size & 1) ? "pw" : nullptr);
    Check(fuzzing::IsZipReaderCode(LastZipReaderResult));
    if (h) {
        Check(SetUnzipBaseDir(h, base.c_str()) == kZipOk);
        ZipItem all;
        Check(GetZipItem(h, -1, &all) == kZipOk);
        const int32_t count = all.index < 16 ? all.index : 16;
        for (int32_t i = 0; i < count; ++i) {
            ZipItem item;
            if (GetZipItem(h, i, &item) != kZipOk) continue;
            CheckJoin(base.c_str(), item.name);
            // Items bigger than this are not worth writing out here.
            if (item.uncompressedSize > (4u << 20)) continue;
            wchar_t target[kZipMaxPath];
            const bool safe = IsSafeRelativeName(item.name);
            const bool joined = safe && JoinZipPath(base.c_str(), item.name, std::wcslen(item.name), target);
            const bool existed = joined && WidePathExists(target);
            const uint32_t r = UnzipItemToFile(h, i, item.name);
            Check(fuzzing::IsZipReaderCode(r));
            if (!safe) Check(r != kZipOk);
            // A failed extraction leaves no file where there was none.
            if (r != kZipOk && joined && !existed) Check(!WidePathIsPlainFile(target));
        }
        Check(CloseZipReader(h) == kZipOk);
    }
    std::filesystem::remove_all(fuzzing::FsPath(base), ec);
    return 0;
}
