// CRC-32 with a table built at compile time, and the encryption keys.
#include "zipcrypt.h"

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

uint32_t Crc32Step(uint32_t crc, uint8_t byte) { return Step(crc, byte); }

uint32_t ZipCrc32(uint32_t crc, const uint8_t* data, size_t length) {
    if (!data || length == 0) return crc;
    crc = ~crc;
    while (length >= 8) {
        crc = Step(crc, data[0]);
        crc = Step(crc, data[1]);
        crc = Step(crc, data[2]);
        crc = Step(crc, data[3]);
        crc = Step(crc, data[4]);
        crc = Step(crc, data[5]);
        crc = Step(crc, data[6]);
        crc = Step(crc, data[7]);
        data += 8;
        length -= 8;
    }
    while (length--) crc = Step(crc, *data++);
    return ~crc;
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
