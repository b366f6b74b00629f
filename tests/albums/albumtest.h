// What the album and slideshow tests share: the fixture pictures, options
// filled for a folder, and a path list that owns its strings.
#pragma once

#include <cwchar>
#include <string>
#include <vector>

#include "display/album.h"
#include "tests/support/testfiles.h"

namespace albumtest {

inline std::wstring Fixture(const char* name) { return testing_support::FixtureFile(PV_ALBUM_FIXTURES, name); }

// Folder with its trailing separator, as the wizard hands it over.
inline std::wstring FolderOf(const testing_support::ScratchDir& dir) { return (dir.path() / "").wstring(); }

inline AlbumOptions Options(const std::wstring& folder, const wchar_t* file) {
    AlbumOptions o{};
    o.delay = 3;
    o.jpegQuality = 90;
    o.loop = 1;
    std::wcsncpy(o.outputFolder, folder.c_str(), kAlbumPathChars - 1);
    std::wcsncpy(o.outputFile, file, kAlbumPathChars - 1);
    return o;
}

// Owns the paths and hands out the pointer array the writers take.
struct PathList {
    std::vector<std::wstring> paths;
    std::vector<const wchar_t*> pointers;
    explicit PathList(std::initializer_list<const char*> names) {
        for (const char* n : names) paths.push_back(Fixture(n));
        for (const auto& p : paths) pointers.push_back(p.c_str());
    }
    const wchar_t* const* data() const { return pointers.data(); }
    int32_t count() const { return int32_t(pointers.size()); }
};

}  // namespace albumtest
