// CRC-32 by zlib, and the encryption keys (their CRC steps from a table
// built at compile time).
#include "zipcrypt.h"

#include <zlib.h>

namespace {

struct CrcTable {
    uint32_t entry[256];
    constexpr CrcTable() : entry() {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entry[n] = c;
        }
    }
};

constexpr CrcTable kCrcTable;

inline uint32_t Step(uint32_t crc, uint8_t byte) { return kCrcTable.entry[(crc ^ byte) & 0xFF] ^ (crc >> 8); }

}  // namespace

uint32_t ZipCrc32(uint32_t crc, const uint8_t* data, size_t length) {
    // zlib takes a null buffer as a request for its initial value (0).
    if (!data || length == 0) return crc;
    return uint32_t(crc32_z(crc, data, length));
}

void InitKeys(ZipKeys* keys, const char* password) {
    keys->key[0] = 0x12345678u;
    keys->key[1] = 0x23456789u;
    keys->key[2] = 0x34567890u;
    if (password)
        for (const char* p = password; *p; ++p) UpdateKeys(keys, static_cast<uint8_t>(*p));
}

void UpdateKeys(ZipKeys* keys, uint8_t plain) {
    keys->key[0] = Step(keys->key[0], plain);
    keys->key[1] = (keys->key[1] + (keys->key[0] & 0xFF)) * 134775813u + 1;
    keys->key[2] = Step(keys->key[2], static_cast<uint8_t>(keys->key[1] >> 24));
}

uint8_t KeyStreamByte(const ZipKeys* keys) {
    const uint32_t t = (keys->key[2] & 0xFFFF) | 2;
    return static_cast<uint8_t>(((t * (t ^ 1)) >> 8) & 0xFF);
}

uint8_t EncryptByte(ZipKeys* keys, uint8_t plain) {
    const uint8_t k = KeyStreamByte(keys);
    UpdateKeys(keys, plain);
    return static_cast<uint8_t>(plain ^ k);
}

uint8_t DecryptByte(ZipKeys* keys, uint8_t cipher) {
    const uint8_t plain = static_cast<uint8_t>(cipher ^ KeyStreamByte(keys));
    UpdateKeys(keys, plain);
    return plain;
}
