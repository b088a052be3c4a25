#include "Cp1252.h"

#include <cstdint>

namespace quorvel {

namespace {

// Code points of the bytes 0x80..0x9F; 0 marks the five unassigned bytes.
constexpr char32_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88-8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98-9F
};

// The byte of a code point, or nothing when the set has none.
bool ToCp1252(char32_t cp, char& out) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
    out = static_cast<char>(cp);
    return true;
  }
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] != 0 && kHigh[i] == cp) {
      out = static_cast<char>(0x80 + i);
      return true;
    }
  return false;
}

char ToCp1252(char32_t cp) {
  char c = '?';
  return ToCp1252(cp, c) ? c : '?';
}

// Decodes one UTF-8 sequence at s[i]; returns false (and consumes one byte)
// for an invalid, overlong or truncated sequence or a surrogate.
bool DecodeUtf8(std::string_view s, std::size_t& i, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  int len = 0;
  char32_t min = 0;
  if (b0 < 0x80) {
    cp = b0;
    ++i;
    return true;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    cp = b0 & 0x1F;
    min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    cp = b0 & 0x0F;
    min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    cp = b0 & 0x07;
    min = 0x10000;
  } else {
    ++i;
    return false;
  }
  if (i + static_cast<std::size_t>(len) > s.size()) {
    ++i;
    return false;
  }
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return false;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return false;
  }
  i += static_cast<std::size_t>(len);
  return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

std::string Utf8ToCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp = 0;
    out.push_back(DecodeUtf8(utf8, i, cp) ? ToCp1252(cp) : '?');
  }
  return out;
}

bool Utf8ToCp1252Exact(std::string_view utf8, std::string& out) {
  out.clear();
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp = 0;
    char c = 0;
    if (!DecodeUtf8(utf8, i, cp) || !ToCp1252(cp, c)) return false;
    out.push_back(c);
  }
  return true;
}

std::string Cp1252ToUtf8(std::string_view cp1252) {
  std::string out;
  out.reserve(cp1252.size() + cp1252.size() / 4);
  for (char c : cp1252) {
    const auto b = static_cast<unsigned char>(c);
    char32_t cp = b;
    if (b >= 0x80 && b < 0xA0) cp = kHigh[b - 0x80] ? kHigh[b - 0x80] : 0xFFFD;
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace quorvel
