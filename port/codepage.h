// Text conversions at the borders that need other encodings than UTF-8:
// code page 936 (GBK) for lock-name digests and report files, UTF-16LE for
// report records. Pure functions, callable from any thread.
#pragma once

#include <string>
#include <string_view>

namespace port {

// Characters code page 936 cannot hold become '?'; malformed UTF-8 too.
std::string utf8_to_cp936(std::string_view utf8);
// Bytes that are not valid code page 936 become '?'.
std::string cp936_to_utf8(std::string_view cp936);
// UTF-16 little-endian bytes, no terminator; malformed UTF-8 becomes U+FFFD.
std::string utf8_to_utf16le(std::string_view utf8);

}  // namespace port
