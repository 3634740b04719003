// Text helpers shared by the configuration readers and writers: case-insensitive name
// comparison, and conversion between UTF-16 text and the byte forms files use
// (UTF-8, UTF-16 LE, and the Windows-1252 ANSI code page).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvanta {

namespace casefold {
// Generated tables of CaseFold.cpp (see common/casefold.pl).
extern const std::uint8_t kRowOfBlock[256];
extern const std::uint16_t kRows[][256];
}  // namespace casefold

// The one case folding of every name comparison ("ignoring case") in the toolkit: the
// simple uppercase mapping of Unicode for each UTF-16 code unit. Configuration trees,
// dictionaries and every other collection of names fold through it, so they agree on
// which names are equal.
inline char16_t foldCase(char16_t c) noexcept {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
  return char16_t(c + casefold::kRows[casefold::kRowOfBlock[c >> 8]][c & 0xFF]);
}

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b) noexcept;

// Hash consistent with equalsIgnoreCase.
std::size_t hashIgnoreCase(std::u16string_view s) noexcept;

// The Windows-1252 character for a byte (the five unassigned bytes map to themselves,
// as the platform's conversion does).
char16_t windows1252ToUtf16(unsigned char byte) noexcept;
// The Windows-1252 byte of a character, or '?' for a character the code page lacks.
unsigned char utf16ToWindows1252(char16_t c) noexcept;

// Decodes UTF-8. Bytes that do not start a valid sequence are taken one by one as
// Windows-1252. Surrogate code points in the three-byte form are accepted, so that a
// lone surrogate written by appendUtf8 reads back as itself.
void appendUtf8Decoded(std::u16string& out, std::string_view bytes);
// The same into out, which has room for bytes.size() code units (decoding never gives
// more); returns the number written.
std::size_t decodeUtf8(std::string_view bytes, char16_t* out) noexcept;

// Encodes UTF-16 as UTF-8; a lone surrogate is written in the three-byte form.
void appendUtf8(std::string& out, std::u16string_view text);
std::string toUtf8(std::u16string_view text);

// Decodes the bytes of a text file: a UTF-16 LE byte-order mark selects UTF-16 LE (an
// odd final byte is dropped), otherwise UTF-8 with or without its mark, with
// Windows-1252 for the bytes that are not valid UTF-8.
std::u16string decodeTextFile(std::string_view bytes);

// Plain ASCII to UTF-16, for literals in code and tests.
std::u16string asciiToUtf16(std::string_view ascii);

}  // namespace orvanta
