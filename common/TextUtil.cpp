// Case folding and byte/UTF-16 conversion for configuration text. Decoding has a
// fast path for runs of ASCII, which make up nearly all of a configuration file.
#include "common/TextUtil.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvanta {

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x != y && foldCase(x) != foldCase(y)) return false;
  }
  return true;
}

// Four code units a step, folded and packed into one word; while they are ASCII the
// four are folded together. Either way a step mixes the same word for the same folded
// units, so strings equal ignoring case hash alike.
std::size_t hashIgnoreCase(std::u16string_view s) noexcept {
  constexpr std::uint64_t kPrime = 1099511628211ull;
  constexpr std::uint64_t kLanes = 0x0001000100010001ull;
  std::uint64_t h = 1469598103934665603ull;
  std::size_t i = 0;
  for (; i + 4 <= s.size(); i += 4) {
    std::uint64_t w;
    std::memcpy(&w, s.data() + i, 8);
    if ((w & (0xFF80 * kLanes)) != 0) {
      w = 0;
      for (std::size_t k = 0; k < 4; ++k) w |= std::uint64_t(foldCase(s[i + k])) << (16 * k);
    } else {
      // 0x80 in the lanes holding 'a'..'z', moved down to 0x20 and taken off.
      const std::uint64_t lower = ((w + (0x80 - 'a') * kLanes) & ~(w + (0x80 - 'z' - 1) * kLanes)) & (0x80 * kLanes);
      w -= lower >> 2;
    }
    h = (h ^ w) * kPrime;
  }
  for (; i < s.size(); ++i) h = (h ^ foldCase(s[i])) * kPrime;
  return static_cast<std::size_t>(h ^ (h >> 29));
}

namespace {

const char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

inline bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

char16_t windows1252ToUtf16(unsigned char byte) noexcept {
  return (byte >= 0x80 && byte < 0xA0) ? kWindows1252High[byte - 0x80] : char16_t(byte);
}

unsigned char utf16ToWindows1252(char16_t c) noexcept {
  if (c < 0x80 || (c >= 0xA0 && c < 0x100)) return static_cast<unsigned char>(c);
  for (unsigned i = 0; i < 32; ++i)
    if (kWindows1252High[i] == c) return static_cast<unsigned char>(0x80 + i);
  return '?';
}

void appendUtf8Decoded(std::u16string& out, std::string_view bytes) {
  const std::size_t base = out.size();
  out.resize(base + bytes.size());
  out.resize(base + decodeUtf8(bytes, out.data() + base));
}

std::size_t decodeUtf8(std::string_view bytes, char16_t* const out) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  char16_t* o = out;
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
#endif
  while (i < n) {
#if defined(__SSE2__)
    // Sixteen ASCII bytes at a time, widened in two stores.
    while (i + 16 <= n) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      if (_mm_movemask_epi8(v) != 0) break;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi8(v, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8), _mm_unpackhi_epi8(v, zero));
      o += 16;
      i += 16;
    }
    // Four to fifteen ASCII bytes left (most names and short values): two overlapping
    // halves, widened and stored.
    if (const std::size_t left = n - i; left >= 8 && left < 16) {
      const __m128i head = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + i));
      const __m128i tail = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + n - 8));
      if (_mm_movemask_epi8(_mm_or_si128(head, tail)) == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi8(head, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + left - 8), _mm_unpacklo_epi8(tail, zero));
        o += left;
        break;
      }
    } else if (left >= 4 && left < 8) {
      std::uint32_t h, t;
      std::memcpy(&h, p + i, 4);
      std::memcpy(&t, p + n - 4, 4);
      if (((h | t) & 0x80808080u) == 0) {
        const __m128i head = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(h)), zero);
        const __m128i tail = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(t)), zero);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o), head);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o + left - 4), tail);
        o += left;
        break;
      }
    }
#endif
    // Eight ASCII bytes at a time.
    while (i + 8 <= n) {
      std::uint64_t w;
      std::memcpy(&w, p + i, 8);
      if (w & 0x8080808080808080ull) break;
      for (int k = 0; k < 8; ++k) o[k] = p[i + k];
      o += 8;
      i += 8;
    }
    // The last few ASCII bytes one by one (short names end here).
    if (n - i < 8) {
      while (i < n && p[i] < 0x80) *o++ = p[i++];
      if (i >= n) break;
    }
    unsigned char b = p[i];
    if (b < 0x80) {
      *o++ = b;
      ++i;
      continue;
    }
    std::size_t left = n - i;
    if (b >= 0xC2 && b <= 0xDF && left >= 2 && isContinuation(p[i + 1])) {
      *o++ = char16_t(((b & 0x1F) << 6) | (p[i + 1] & 0x3F));
      i += 2;
      continue;
    }
    if (b >= 0xE0 && b <= 0xEF && left >= 3 && isContinuation(p[i + 1]) && isContinuation(p[i + 2]) &&
        (b != 0xE0 || p[i + 1] >= 0xA0)) {
      *o++ = char16_t(((b & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F));
      i += 3;
      continue;
    }
    if (b >= 0xF0 && b <= 0xF4 && left >= 4 && isContinuation(p[i + 1]) && isContinuation(p[i + 2]) &&
        isContinuation(p[i + 3]) && (b != 0xF0 || p[i + 1] >= 0x90) && (b != 0xF4 || p[i + 1] < 0x90)) {
      std::uint32_t cp = ((b & 0x07u) << 18) | ((p[i + 1] & 0x3Fu) << 12) | ((p[i + 2] & 0x3Fu) << 6) |
                         (p[i + 3] & 0x3Fu);
      cp -= 0x10000;
      *o++ = char16_t(0xD800 + (cp >> 10));
      *o++ = char16_t(0xDC00 + (cp & 0x3FF));
      i += 4;
      continue;
    }
    *o++ = windows1252ToUtf16(b);
    ++i;
  }
  return static_cast<std::size_t>(o - out);
}

void appendUtf8(std::string& out, std::u16string_view text) {
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    std::size_t run = i;
    while (run < n && text[run] < 0x80) ++run;
    if (run > i) {
      std::size_t base = out.size();
      out.resize(base + (run - i));
      char* d = out.data() + base;
      for (std::size_t k = i; k < run; ++k) *d++ = static_cast<char>(text[k]);
      i = run;
      if (i >= n) break;
    }
    std::uint32_t c = text[i];
    if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
      ++i;
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      std::uint32_t cp = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
      i += 2;
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
      ++i;
    }
  }
}

std::string toUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  appendUtf8(out, text);
  return out;
}

std::u16string decodeTextFile(std::string_view bytes) {
  std::u16string out;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::size_t units = (bytes.size() - 2) / 2;
    out.resize(units);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + 2;
    for (std::size_t k = 0; k < units; ++k) out[k] = char16_t(p[2 * k] | (p[2 * k + 1] << 8));
    return out;
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  appendUtf8Decoded(out, bytes);
  return out;
}

std::u16string asciiToUtf16(std::string_view ascii) {
  std::u16string out(ascii.size(), u'\0');
  for (std::size_t k = 0; k < ascii.size(); ++k) out[k] = static_cast<unsigned char>(ascii[k]);
  return out;
}

}  // namespace orvanta
