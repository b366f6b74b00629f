// CRC-32 of ZIP and the traditional PKWARE encryption.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32 (ISO 3309 / ITU-T V.42, reflected polynomial 0xEDB88320), continued
// from `crc` (0 to start). No data gives `crc` back.
uint32_t ZipCrc32(uint32_t crc, const uint8_t* data, size_t length);

// The three keys of traditional encryption.
struct ZipKeys {
    uint32_t key[3];
};

// Keys 0x12345678, 0x23456789, 0x34567890, then each password byte.
void InitKeys(ZipKeys* keys, const char* password);
void UpdateKeys(ZipKeys* keys, uint8_t plain);
uint8_t KeyStreamByte(const ZipKeys* keys);
uint8_t EncryptByte(ZipKeys* keys, uint8_t plain);
uint8_t DecryptByte(ZipKeys* keys, uint8_t cipher);
