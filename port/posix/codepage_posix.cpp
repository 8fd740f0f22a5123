#include <iconv.h>

#include <cerrno>

#include "port/codepage.h"

namespace port {

namespace {

// One converter per thread and direction: iconv descriptors carry state and
// must not be shared between threads.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts, putting '?' for every character the target cannot hold and for
  // every malformed input sequence; skip(in, left) tells how many input bytes
  // such a character occupies.
  template <typename Skip>
  std::string run(std::string_view input, Skip skip) {
    std::string out;
    if (!ok()) return out;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out.resize(input.size() * 2 + 16);
    char* in = const_cast<char*>(input.data());
    std::size_t in_left = input.size();
    std::size_t used = 0;
    while (in_left > 0) {
      char* dst = out.data() + used;
      std::size_t dst_left = out.size() - used;
      const std::size_t rc = iconv(cd_, &in, &in_left, &dst, &dst_left);
      used = out.size() - dst_left;
      if (rc != static_cast<std::size_t>(-1)) break;
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      // EILSEQ (malformed or unmappable) or EINVAL (cut off at the end).
      const std::size_t n = errno == EINVAL ? in_left : skip(in, in_left);
      in += n;
      in_left -= n;
      if (used + 1 > out.size()) out.resize(out.size() * 2);
      out[used++] = '?';
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(used);
    return out;
  }

 private:
  iconv_t cd_;
};

std::size_t utf8_sequence_length(const char* p, std::size_t left) {
  const unsigned char c = static_cast<unsigned char>(*p);
  std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
  if (len > left) return 1;
  for (std::size_t k = 1; k < len; ++k)
    if ((static_cast<unsigned char>(p[k]) >> 6) != 0x2) return 1;
  return len;
}

std::size_t gbk_sequence_length(const char* p, std::size_t left) {
  const unsigned char c = static_cast<unsigned char>(*p);
  return (c >= 0x81 && c <= 0xFE && left >= 2) ? 2 : 1;
}

}  // namespace

std::string utf8_to_cp936(std::string_view utf8) {
  if (utf8.empty()) return {};
  thread_local Converter conv("CP936", "UTF-8");
  return conv.run(utf8, utf8_sequence_length);
}

std::string cp936_to_utf8(std::string_view cp936) {
  if (cp936.empty()) return {};
  thread_local Converter conv("UTF-8", "CP936");
  return conv.run(cp936, gbk_sequence_length);
}

}  // namespace port
