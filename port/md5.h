// MD5 digest (RFC 1321) as 32 lowercase hexadecimal digits; empty when the
// system cannot compute it. Any thread.
#pragma once

#include <string>
#include <string_view>

namespace port {

std::string md5_hex(std::string_view bytes);

}  // namespace port
