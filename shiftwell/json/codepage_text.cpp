#include "shiftwell/json/codepage_text.h"

#include "port/codepage.h"

namespace shiftwell {

// port's conversions give the empty text for a non-empty input only when the
// converter cannot be had, which is the failure these routines report.
std::string gbk_to_utf8(std::string_view text) {
  return text.empty() ? std::string() : port::cp936_to_utf8(text);
}

std::string utf8_to_gbk(std::string_view text) {
  return text.empty() ? std::string() : port::utf8_to_cp936(text);
}

}  // namespace shiftwell
