// A load is a C-style call: out of memory inside the standard library comes
// back as kLoadNoMemory, never as an exception. This program replaces the global
// operator new so that it can fail on demand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "imagelib/load.h"
#include "tests/support/pictures.h"
#include "tests/support/testfiles.h"

namespace {
bool gFailNew = false;
}  // namespace

void* operator new(std::size_t size) {
    if (gFailNew) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Operator new fails while one of these lives.
struct NewFails {
    NewFails() { gFailNew = true; }
    ~NewFails() { gFailNew = false; }
};

TEST(NoThrow, OutOfMemoryInTheLoadIsAResultCode) {
    testing_support::EnsureFormatRegistry();
    testing_support::ScratchDir dir;
    // A name long enough that every text made of it needs the heap.
    const std::wstring path = dir.File("a picture whose name is longer than any short-string buffer.pgm");
    const std::string pgm = "P5 2 2 255\n";
    std::vector<uint8_t> file(pgm.begin(), pgm.end());
    file.insert(file.end(), {0, 64, 128, 255});
    testing_support::WriteBytes(path, file);

    LoadOptions o;
    InitLoadOptions(&o);
    o.flags = kLoadVerbose;  // the verbose report formats the name too
    testing_support::LoadedPicture p;
    ImageInfo info{};
    int query = -100;
    {
        NewFails failing;
        EXPECT_NO_THROW(p.result = LoadPictureFromFile(path.c_str(), &p.bitmap, &o, nullptr));
        EXPECT_NO_THROW(query = QueryPictureInfo(path.c_str(), -1, 0, &info));
    }
    // Where the platform needs no heap to open a file the load simply works.
    EXPECT_TRUE(p.result == kLoadOk || p.result == kLoadNoMemory) << p.result;
    EXPECT_EQ(p.result == kLoadOk, p.bitmap.pixels != nullptr);
    EXPECT_TRUE(query == kLoadOk || query == kLoadNoMemory) << query;
    FreePictureInfo(&info);
}

}  // namespace
