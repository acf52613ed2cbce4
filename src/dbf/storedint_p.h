// Stored integers read in the engine's own form, eight characters at a time. Used by the
// field decoding of single records and by the bulk decoding of a table load.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace dbf {

constexpr std::uint64_t EveryByte(std::uint8_t b) {
    return 0x0101010101010101ull * b;
}

// Eight characters read as one little-endian word (the first character in the lowest byte):
// blanks followed by digits. Returns their value, or -1 for anything else; `blank` gets 0x80 in
// every byte that is a blank.
inline std::int64_t EightDigits(std::uint64_t text, std::uint64_t &blank) {
    const std::uint64_t x = text ^ EveryByte(' ');
    // Exact per byte: no carries between bytes.
    blank = ~(((x & EveryByte(0x7F)) + EveryByte(0x7F)) | x) & EveryByte(0x80);
    // The blanks must lead: 0xFF in each blank byte then forms a mask of the low bytes.
    const std::uint64_t lead = (blank >> 7) * 0xFF;
    if ((lead & (lead + 1)) != 0) return -1;
    std::uint64_t v = text + (blank >> 3); // a blank (0x20) becomes '0' (0x30)
    if ((v & EveryByte(0xF0)) != EveryByte(0x30) ||
        ((v + EveryByte(0x06)) & EveryByte(0xF0)) != EveryByte(0x30))
        return -1;
    v -= EveryByte('0');
    v = v * 10 + (v >> 8); // pairs of digits
    v = (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
         (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
        32;
    return static_cast<std::int64_t>(static_cast<std::uint32_t>(v));
}

// Whether the first n characters are all blanks.
inline bool BlanksBefore(const std::uint8_t *f, int n) {
    int at = 0;
    for (; at + 8 <= n; at += 8) {
        std::uint64_t w;
        std::memcpy(&w, f + at, 8);
        if (w != EveryByte(' ')) return false;
    }
    for (; at < n; ++at)
        if (f[at] != ' ') return false;
    return true;
}

// Reads a stored integer field that is in the form the engine writes (blanks, then the
// digits, a "-" before them, up to the field's end, no leading zero). False for any other text
// (which ReadFieldInt32 then reads); v is left alone then.
inline bool ReadEngineInt32(const std::uint8_t *f, int width, std::int32_t &v) {
    if constexpr (std::endian::native == std::endian::little) {
        if (width >= 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, f + width - 8, 8);
            // Most counts are a single digit: seven blanks before it.
            const unsigned last = static_cast<unsigned>(word >> 56) - '0';
            if ((word << 8) == (EveryByte(' ') << 8) && last <= 9 && BlanksBefore(f, width - 8)) {
                v = static_cast<std::int32_t>(last);
                return true;
            }
        }
    }
    // One character at a time from the end (quicker than eight at a time for a few digits).
    static constexpr std::uint64_t Powers[] = {
        1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000, 10000000000};
    int i = width - 1;
    std::uint64_t value = 0;
    int digits = 0;
    while (i >= 0 && digits <= 10) {
        const unsigned d = static_cast<unsigned>(f[i] - '0');
        if (d > 9) break;
        value += d * Powers[digits];
        ++digits;
        --i;
    }
    if (digits == 0 || digits > 10 || (digits > 1 && f[i + 1] == '0')) return false;
    const bool negative = i >= 0 && f[i] == '-';
    if (negative) {
        if (value == 0) return false; // "-0"
        --i;
    }
    if (value > (negative ? 2147483648ull : 2147483647ull)) return false;
    if (!BlanksBefore(f, i + 1)) return false;
    v = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(value))
                 : static_cast<std::int32_t>(value);
    return true;
}

} // namespace dbf
