// Stands in for a pelljson.so of another make in the tests: it has some of
// the entries and lacks the rest.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) int32_t parse(const char*) { return 0; }
extern "C" __attribute__((visibility("default"))) void free_(int32_t) {}
