// CRC-32 (zlib's crc32 as the independent value) and traditional encryption.
#include "zip/zipcrypt.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

#include "tests/zip/ziptestutil.h"

namespace {

TEST(ZipCrc32, KnownValuesAndZlibAgreement) {
    const uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(0x352441C2u, ZipCrc32(0, abc, 3));
    EXPECT_EQ(0u, ZipCrc32(0, nullptr, 0));
    EXPECT_EQ(0u, ZipCrc32(0, abc, 0));
    for (size_t n : {1u, 7u, 8u, 9u, 1000u, 65537u}) {
        const std::vector<uint8_t> data = ziptest::PatternBytes(n, uint32_t(n));
        EXPECT_EQ(uint32_t(crc32(0, data.data(), uInt(n))), ZipCrc32(0, data.data(), n)) << n;
        // Continued over two pieces.
        const size_t half = n / 2;
        EXPECT_EQ(ZipCrc32(0, data.data(), n), ZipCrc32(ZipCrc32(0, data.data(), half), data.data() + half, n - half));
    }
}

TEST(ZipKeys, DecryptionUndoesEncryption) {
    const std::vector<uint8_t> plain = ziptest::PatternBytes(500, 4);
    ZipKeys enc, dec;
    InitKeys(&enc, "secret");
    InitKeys(&dec, "secret");
    std::vector<uint8_t> cipher, back;
    for (uint8_t b : plain) cipher.push_back(EncryptByte(&enc, b));
    for (uint8_t b : cipher) back.push_back(DecryptByte(&dec, b));
    EXPECT_NE(plain, cipher);
    EXPECT_EQ(plain, back);
}

TEST(ZipKeys, StartValues) {
    ZipKeys keys;
    InitKeys(&keys, nullptr);
    EXPECT_EQ(0x12345678u, keys.key[0]);
    EXPECT_EQ(0x23456789u, keys.key[1]);
    EXPECT_EQ(0x34567890u, keys.key[2]);
}

}  // namespace
