#include "shiftwell/template/template_image.h"

#include "port/file.h"

// Bounds of the image, defined in template_image.S.
extern "C" {
__attribute__((visibility("hidden"))) extern const char shiftwell_template_begin[];
__attribute__((visibility("hidden"))) extern const char shiftwell_template_end[];
}

namespace shiftwell {

std::string_view template_image() {
  return {shiftwell_template_begin,
          static_cast<std::size_t>(shiftwell_template_end - shiftwell_template_begin)};
}

bool write_template(const std::string& path, std::string* error) {
  return port::write_file(path, template_image(), error);
}

}  // namespace shiftwell
