// Checked size arithmetic. Every size computed from untrusted numbers goes
// through these: they divide first or widen, and never test a result that
// may already have wrapped.
//
// Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

// a * b into *out; false when it does not fit.
inline bool CheckedMul(size_t a, size_t b, size_t* out) {
    if (b != 0 && a > std::numeric_limits<size_t>::max() / b) return false;
    *out = a * b;
    return true;
}

inline bool CheckedAdd(size_t a, size_t b, size_t* out) {
    if (a > std::numeric_limits<size_t>::max() - b) return false;
    *out = a + b;
    return true;
}

// a * b * c, all non-negative.
inline bool CheckedMul3(size_t a, size_t b, size_t c, size_t* out) {
    size_t ab;
    return CheckedMul(a, b, &ab) && CheckedMul(ab, c, out);
}

// True when [offset, offset + length) lies inside a buffer of `size` bytes.
inline bool RangeInside(uint64_t offset, uint64_t length, uint64_t size) {
    return offset <= size && length <= size - offset;
}

// A value that must fit a signed 32-bit field (sizes handed to Bitmap).
inline bool FitsInt32(int64_t v) {
    return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}
