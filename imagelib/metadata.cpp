// Metadata blocks, tag lists, the comment and keyed texts of a load.
#include "metadata.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "fileio.h"
#include "loadcontext.h"
#include "textutil.h"

// ---------------------------------------------------------------------------
// Blocks.

int AddMetadataBlockToList(MetadataBlock** head, uint32_t kind, const void* data, uint32_t length) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (!bytes && length) return 0;

    // ICC profiles arrive in chunks: grow the one block.
    if (kind == kMetadataIcc) {
        for (MetadataBlock* node = *head; node; node = node->next) {
            if (node->kind != kMetadataIcc) continue;
            if (length == 0) return 1;
            if (node->length > UINT32_MAX - length) return 0;
            auto* grown = static_cast<uint8_t*>(std::realloc(node->data, size_t(node->length) + length));
            if (!grown) return 0;  // the block keeps what it had
            std::memcpy(grown + node->length, bytes, length);
            node->data = grown;
            node->length += length;
            return 1;
        }
    }

    // XMP handed over with its namespace text in front: keep the packet only.
    if (kind == kMetadataXmp && length >= 5 && std::memcmp(bytes, "http:", 5) == 0) {
        const void* zero = std::memchr(bytes, 0, length);
        if (zero) {
            const size_t skip = static_cast<const uint8_t*>(zero) - bytes + 1;
            bytes += skip;
            length -= static_cast<uint32_t>(skip);
        }
    }
    if (length == 0) return 0;

    auto* node = static_cast<MetadataBlock*>(std::calloc(1, sizeof(MetadataBlock)));
    if (!node) return 0;
    node->data = static_cast<uint8_t*>(std::malloc(length));
    if (!node->data) {
        std::free(node);
        return 0;
    }
    std::memcpy(node->data, bytes, length);
    node->kind = kind;
    node->length = length;
    node->next = *head;
    *head = node;
    return 1;
}

void AddMetadataBlock(LoadContext* ctx, uint32_t kind, const void* data, uint32_t length) {
    if (!(ctx->options.flags & kLoadKeepMetadata)) return;
    AddMetadataBlockToList(&ctx->metadata, kind, data, length);
}

const MetadataBlock* FindMetadataBlock(const MetadataBlock* head, uint32_t kind) {
    for (; head; head = head->next)
        if (head->kind == kind) return head;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Tag lists.

constexpr uint32_t kTagListGrowth = 16;

TagList* NewTagList(uint32_t bigEndian) {
    auto* list = static_cast<TagList*>(std::calloc(1, sizeof(TagList)));
    if (list) list->bigEndian = bigEndian;
    return list;
}

TagRecord* AppendTagRecord(TagList* list) {
    if (!list) return nullptr;
    if (list->count + 1 >= list->capacity) {
        if (list->capacity > UINT32_MAX / sizeof(TagRecord) - kTagListGrowth) return nullptr;
        const uint32_t capacity = list->records ? list->capacity + kTagListGrowth : kTagListGrowth;
        auto* grown = static_cast<TagRecord*>(std::realloc(list->records, size_t(capacity) * sizeof(TagRecord)));
        // On failure the list keeps its records and nothing is appended.
        if (!grown) return nullptr;
        std::memset(grown + list->capacity, 0, size_t(capacity - list->capacity) * sizeof(TagRecord));
        list->records = grown;
        list->capacity = capacity;
    }
    TagRecord* record = &list->records[list->count++];
    std::memset(record, 0, sizeof *record);
    return record;
}

void FreeTagList(TagList* list) {
    if (!list) return;
    for (uint32_t i = 0; i < list->count; ++i) std::free(list->records[i].data);
    std::free(list->records);
    std::free(list);
}

TagList* CopyTagList(const TagList* src) {
    if (!src) return nullptr;
    TagList* list = NewTagList(src->bigEndian);
    if (!list) return nullptr;
    for (uint32_t i = 0; i < src->count; ++i) {
        TagRecord* r = AppendTagRecord(list);
        if (!r) {
            FreeTagList(list);
            return nullptr;
        }
        *r = src->records[i];
        r->data = nullptr;
        if (src->records[i].data && src->records[i].dataLength) {
            r->data = static_cast<uint8_t*>(std::malloc(src->records[i].dataLength));
            if (!r->data) {
                r->dataLength = 0;
                FreeTagList(list);
                return nullptr;
            }
            std::memcpy(r->data, src->records[i].data, src->records[i].dataLength);
        } else {
            r->dataLength = 0;
        }
    }
    return list;
}

TagRecord* AppendExifTag(LoadContext* ctx) { return AppendTagRecord(ctx->exifTags); }

void StartExifTagList(LoadContext* ctx, uint32_t bigEndian) {
    if (!ctx->exifTags) ctx->exifTags = NewTagList(bigEndian);
}

void StartMakerNoteTagList(LoadContext* ctx, const char* make, const char* model, uint32_t bigEndian) {
    if (ctx->makerNoteTags) return;
    ctx->makerNoteTags = NewTagList(bigEndian);
    if (!ctx->makerNoteTags) return;
    std::free(ctx->make);
    std::free(ctx->model);
    ctx->make = make ? DuplicateText(make) : nullptr;
    ctx->model = model ? DuplicateText(model) : nullptr;
}

TagRecord* AppendMakerNoteTag(LoadContext* ctx) {
    TagRecord* r = AppendTagRecord(ctx->makerNoteTags);
    if (r) r->directory = -1;
    return r;
}

// ---------------------------------------------------------------------------
// Comment and keyed texts.

void SetPictureComment(LoadContext* ctx, const char* text, size_t length) {
    if (!(ctx->options.flags & kLoadKeepComment) || !text || length == 0) return;
    if (static_cast<unsigned char>(text[0]) < 32) return;
    // The text may be shorter than `length` when it has an early terminator.
    const size_t n = strnlen(text, length);
    char* copy = static_cast<char*>(std::malloc(n + 1));
    if (!copy) return;
    std::memcpy(copy, text, n);
    copy[n] = '\0';
    std::free(ctx->comment);
    ctx->comment = copy;
}

// True when the file is known to end before `n` more bytes: the bytes that
// are there are skipped, so a count from a damaged file allocates nothing.
static bool SkipShortField(PictureFile* file, uint32_t n) {
    const int64_t left = RemainingFileBytes(file);
    if (left < 0 || left >= int64_t(n)) return false;
    SkipFileBytes(file, n);
    return true;
}

int ReadPictureComment(PictureFile* file, LoadContext* ctx, uint32_t n) {
    if (!(ctx->options.flags & kLoadKeepComment)) return SkipFileBytes(file, n) ? 4 : 0;
    if (SkipShortField(file, n)) return 4;
    char* buffer = static_cast<char*>(std::malloc(size_t(n) + 1));
    if (!buffer) return SkipFileBytes(file, n) ? 4 : 0;
    const size_t got = ReadFileBytes(file, buffer, n);
    buffer[got] = '\0';
    if (got == n) SetPictureComment(ctx, buffer, n);
    std::free(buffer);
    return got == n ? 0 : 4;
}

static bool IsPrintableStart(unsigned char c) {
    return c == ' ' || (c >= 0x21 && c <= 0x7E);
}

void AddPictureText(LoadContext* ctx, const char* key, const char* value, size_t length) {
    if (!(ctx->options.flags & kLoadKeepTexts) || !value || length == 0) return;
    if (ctx->textCount >= kMaxPictureTexts || ctx->textCount < 0) return;
    if (!IsPrintableStart(static_cast<unsigned char>(value[0]))) return;
    const size_t n = strnlen(value, length);
    const size_t keyLength = key ? std::strlen(key) : 0;
    char* text = static_cast<char*>(std::malloc(keyLength + n + 8));
    if (!text) return;
    size_t at = 0;
    if (key) {
        std::memcpy(text, key, keyLength);
        at = keyLength;
    }
    text[at++] = ':';
    text[at++] = ' ';
    std::memcpy(text + at, value, n);
    text[at + n] = '\0';
    ctx->texts[ctx->textCount++] = text;
}

int ReadPictureText(PictureFile* file, LoadContext* ctx, const char* key, uint32_t n) {
    if (!(ctx->options.flags & kLoadKeepTexts) || n == 0) return SkipFileBytes(file, n) ? 4 : 0;
    if (SkipShortField(file, n)) return 4;
    char* buffer = static_cast<char*>(std::malloc(n));
    if (!buffer) return SkipFileBytes(file, n) ? 4 : 0;
    const size_t got = ReadFileBytes(file, buffer, n);
    // The count of an ASCII field includes its terminator.
    if (got == n) AddPictureText(ctx, key, buffer, n - 1);
    std::free(buffer);
    return got == n ? 0 : 4;
}
