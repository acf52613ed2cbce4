// OEM/ANSI text conversion of DBF character data.
//
// ANSI is Windows-1252 and OEM is code page 437. Bytes 0-127 are unchanged. The upper halves
// are converted through two full 128-entry tables that are inverse permutations of each other:
// every character the two code pages share maps to its counterpart, and the characters that
// only one of them has are paired with each other in code order. Converting to OEM and back
// therefore gives back every byte exactly, so no text a user stores is lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dbf {

// Index = byte - 128.
extern const std::uint8_t kAnsiToOem[128];
extern const std::uint8_t kOemToAnsi[128];

void AnsiToOem(std::uint8_t *data, std::size_t size);
void OemToAnsi(std::uint8_t *data, std::size_t size);
std::string AnsiToOem(std::string text);
std::string OemToAnsi(std::string text);

// Upper case of one Windows-1252 byte (ASCII letters and the accented Latin-1 letters).
std::uint8_t AnsiUpper(std::uint8_t c);
std::string AnsiUpper(std::string text);

} // namespace dbf
