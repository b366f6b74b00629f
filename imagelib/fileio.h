// Picture files: opening by mode code, byte-order readers and writers,
// skipping, PackBits, temporary names, and byte swapping.
//
// Portable: no platform headers. Paths are wide strings (UTF-16 on Windows,
// converted to UTF-8 at the operating-system boundary elsewhere). A
// PictureFile reads either a stream or a block of memory through the same
// calls, so readers never touch the stream themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "osfile.h"

// What a caller hands to a reader or writer to name its file: a path, an
// already open stream, or a block of memory (read-only).
struct FileSource {
    const wchar_t* path;
    FILE* stream;
    const uint8_t* memory;
    size_t memorySize;
};

// Mode codes of OpenPictureFile.
enum PictureFileMode : int {
    kOpenReadBinary = 17,      // "rb", size probed
    kOpenWriteBinary = 18,     // "wb"
    kOpenUpdateBinary = 19,    // "r+b"
    kOpenUpdateBinary2 = 20,   // "r+b"
    kOpenCreateUpdateBinary = 27,  // "w+b", then treated as 19
    kOpenReadText = 33,        // "r", size probed
    kOpenWriteText = 34,       // "w"
    kOpenUpdateText = 35,      // "r+"
    kOpenUpdateText2 = 36,     // "r+"
    kOpenCreateUpdateText = 43,    // "w+", then treated as 35
};

// Size reported for a file opened without a path (a stream handed in).
constexpr int64_t kUnknownFileSize = 999999999;

struct PictureFile {
    FILE* stream;              // null for memory files and sources without a path
    int64_t size;              // probed size; kUnknownFileSize without a path; else 0
    uint8_t keepOpen;          // closing flushes but does not close the stream
    wchar_t* path;             // owned copy, freed on close
    int mode;                  // the mode code after the 27/43 mapping
    // Memory files.
    const uint8_t* memory;
    size_t memorySize;
    size_t memoryPos;
    // Sticky flags: a read that came up short sets `eof`, a failed read,
    // write or seek sets `error`. Readers test them to report truncation
    // (kLoadIncomplete).
    uint8_t eof;
    uint8_t error;
};

// Outcome of opening a file for reading, for callers that must tell an empty
// file (kLoadNotRecognised) from one that cannot be opened (kLoadCannotOpen).
enum class OpenFailure { kNone, kCannotOpen, kEmpty, kNoMemory };

uint32_t Swap16(uint32_t value);
uint32_t Swap32(uint32_t value);
uint32_t OrderSwap16(uint32_t value);
uint32_t OrderSwap32(uint32_t value);
uint32_t OrderKeep16(uint32_t value);
uint32_t OrderKeep32(uint32_t value);

void InitFileSource(FileSource* source, const wchar_t* path);
void InitMemorySource(FileSource* source, const uint8_t* data, size_t size);

// A new PictureFile, or null. A source with memory opens that memory
// read-only (write modes fail). A source with only a stream gives a record
// whose reads and writes go to that stream and whose size is kUnknownFileSize;
// it is kept open on close.
PictureFile* OpenPictureFile(const FileSource* source, int mode);
// As OpenPictureFile, also telling why it failed.
PictureFile* OpenPictureFileEx(const FileSource* source, int mode, OpenFailure* why);
void ClosePictureFile(PictureFile* file);
// Flushes and closes; 0 when every write and the close succeeded, else 1.
int ClosePictureFileChecked(PictureFile* file);

// Raw access. ReadFileBytes returns the count read and sets `eof` when short.
size_t ReadFileBytes(PictureFile* file, void* buffer, size_t count);
// The next byte, or -1 at the end (sets `eof`).
int ReadFileByte(PictureFile* file);
// Returns the count written; a short write sets `error`.
size_t WriteFileBytes(PictureFile* file, const void* buffer, size_t count);
int WriteFileByte(PictureFile* file, int value);
// origin: SEEK_SET, SEEK_CUR or SEEK_END. 0 done, else non-zero with the
// sticky `error` flag set. Streams and memory behave alike: a position
// before the start is refused, one past the end is accepted and the next
// read there comes up short (setting `eof`).
int SeekPictureFile(PictureFile* file, int64_t offset, int origin);
int64_t TellPictureFile(PictureFile* file);
// Bytes from the current position to the end, or -1 when not known.
int64_t RemainingFileBytes(PictureFile* file);
int FlushPictureFile(PictureFile* file);
inline bool PictureFileFailed(const PictureFile* file) { return file->eof || file->error; }

int SkipFileBytes(PictureFile* file, int64_t count);
uint32_t ReadUInt16Le(PictureFile* file);
uint32_t ReadUInt16Be(PictureFile* file);
uint32_t ReadUInt32Le(PictureFile* file);
uint32_t ReadUInt32Be(PictureFile* file);
uint32_t ReadUInt16LeFromStream(FILE* stream);
int WriteUInt16Le(uint32_t value, PictureFile* file);
int WriteUInt32Le(uint32_t value, PictureFile* file);

// Byte-order sets of the TIFF reader.
struct ByteOrderSet {
    uint32_t (*read16)(PictureFile*);
    uint32_t (*read32)(PictureFile*);
    uint32_t (*order16)(uint32_t);
    uint32_t (*order32)(uint32_t);
};
extern const ByteOrderSet kLittleEndianOrder;  // "II"
extern const ByteOrderSet kBigEndianOrder;     // "MM"

// Names that come from elsewhere (archive entries, received files) are
// checked with this before a file is made from them. True for one path
// component (`length` characters) that Windows would not keep as a file of
// that name: a device name (CON, PRN, AUX, NUL, COM0 to COM9 and LPT0 to LPT9,
// also with the superscript digits 1 to 3, CONIN$, CONOUT$, CLOCK$) in any
// case, alone or before an extension or trailing spaces ("nul.txt",
// "Com1 .jpg"), which opens the device instead; and a name ending in a dot or
// a space, which Windows stores without them ("a.jpg." would write "a.jpg").
bool IsReservedFileName(const wchar_t* name, size_t length);

int DeletePictureFile(const wchar_t* path);
int MovePictureFile(const wchar_t* oldPath, const wchar_t* newPath);
// Creates an empty file with a unique name "x_<n>.tmp" in the temporary
// folder and writes its path into `buffer` (capacity in wide characters).
// Returns the unique number, 0 on failure.
uint32_t MakeTempFileName(wchar_t* buffer, size_t capacity);
// The temporary folder with a trailing separator; 0 on failure, else length.
size_t GetTempFolder(wchar_t* buffer, size_t capacity);
// The image library's temporary folder for readers and writers, "/"-terminated,
// into `buffer`; none is configured, so the buffer (if it has room) becomes an
// empty text and the result, the text's length, is 0.
size_t GetLibraryTempFolder(char* buffer, size_t capacity);

// Writing a file by name without losing the one already there: the data go
// to a sibling file, which replaces the old one only once complete.
//
// A new name "<name>.~<tag><hex>" beside `name`, reserved by creating an
// empty file there exclusively; empty when none could be made.
std::wstring SiblingName(const std::wstring& name, const wchar_t* tag);
// Moves the finished, closed temporary file over the final name durably and
// in one step (ReplaceFileDurably in osfile.h): the new data reach the disk
// before the rename, and a crash leaves the old file or the new one, never
// neither. 0 done; on failure the final name keeps the old file and `temp`
// is left for the caller to remove. For files of the program's own (caches,
// mail); a user's file is rewritten through FileReplacement.
int ReplaceWithTemp(const std::wstring& temp, const std::wstring& final);

// Every rewrite of a user's file by name goes through one of these, so that
// the file is never lost and its protection never weakened:
//  - Begin follows a symbolic link to the file it leads to (that file is
//    replaced and the link stays a link), refuses an existing file that is
//    read-only, refuses a file with more than one name (hard links: the new
//    file would take only this name, the others keeping the old data), and
//    makes the sibling (SiblingName) beside the file.
//  - Commit, once the sibling is written and closed, gives it the old file's
//    protection (GetFileProtection: POSIX permission bits, owner and group
//    where the process may, Windows hidden and system attributes) and moves
//    it over the file durably. A file that was
//    there at Begin and has gone since is not made again: the commit fails.
//  - Abandon, or the destructor, removes a sibling not committed.
// Files made from elsewhere (archive entries extracted into a shared folder)
// never write through a link found at their name: with kReplaceLinks a
// symbolic link there is itself replaced by the new file, and what it leads
// to is left as it was; a file there with other names is replaced under
// this name only (the others were not the caller's).
class FileReplacement {
public:
    enum Start : int {
        kReady = 0,  // write the new data to temp(), then Commit
        kReadOnly,   // the file there is read-only: refused
        kNotAFile,   // a device or folder is there: nothing can be made beside it
        kFailed,     // a link that leads nowhere, or no sibling could be made
        kHardLinked, // the file has other names: refused
    };
    enum Links : int {
        kFollowLinks = 0,  // a user's file: the file a link leads to is replaced
        kReplaceLinks,     // a link at the name is itself replaced, a hard link split
    };

    FileReplacement() = default;
    ~FileReplacement() { Abandon(); }
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    Start Begin(const std::wstring& name, const wchar_t* tag, Links links = kFollowLinks);
    // The file the name leads to (to read the old data from), and the sibling.
    const std::wstring& target() const { return target_; }
    const std::wstring& temp() const { return temp_; }
    // 0 done; 1 failed, with the sibling removed and the old file as it was.
    int Commit();
    void Abandon();

private:
    std::wstring target_;  // where the name leads
    std::wstring temp_;    // the sibling; empty when none is held
    bool replacing_ = false;
    FileProtection protection_{};
};

// PackBits: 0 done, 4 when the file ends first. Runs never pass the end of
// the buffer; control byte 128 is a no-op.
int UnpackBitsFromFile(PictureFile* file, uint8_t* buffer, int64_t count);
