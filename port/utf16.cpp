#include "port/codepage.h"

namespace port {

namespace {

void put_unit(std::string& out, unsigned unit) {
  out.push_back(static_cast<char>(unit & 0xFF));
  out.push_back(static_cast<char>((unit >> 8) & 0xFF));
}

// Decodes one UTF-8 sequence at s[i]; returns the code point or 0xFFFD for a
// malformed one, and advances i past what it consumed.
unsigned decode_utf8(std::string_view s, std::size_t& i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  int len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  if (len == 0 || i + len > s.size()) {
    ++i;
    return 0xFFFD;
  }
  unsigned cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
  for (int k = 1; k < len; ++k) {
    const unsigned char cc = static_cast<unsigned char>(s[i + k]);
    if ((cc >> 6) != 0x2) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  static const unsigned kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  i += len;
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
  return cp;
}

}  // namespace

std::string utf8_to_utf16le(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned cp = decode_utf8(utf8, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put_unit(out, 0xD800 | (cp >> 10));
      put_unit(out, 0xDC00 | (cp & 0x3FF));
    } else {
      put_unit(out, cp);
    }
  }
  return out;
}

}  // namespace port
