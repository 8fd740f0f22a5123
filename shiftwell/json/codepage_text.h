// The code page 936 (GBK) border of Shiftwell: texts for and from places
// that need GBK bytes. Pure functions, callable from any thread.
#pragma once

#include <string>
#include <string_view>

namespace shiftwell {

// GBK text as UTF-8; bytes that are no GBK character become '?'. The empty
// text for an empty input and when the conversion fails.
std::string gbk_to_utf8(std::string_view text);
// UTF-8 text as GBK; characters GBK cannot hold (and malformed bytes) become
// '?'. The empty text for an empty input and when the conversion fails.
std::string utf8_to_gbk(std::string_view text);

}  // namespace shiftwell
