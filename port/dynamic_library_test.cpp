#include "port/dynamic_library.h"

#include <gtest/gtest.h>

namespace {
int some_data = 42;
}

TEST(DynamicLibrary, LoadsByNameAndFindsSymbols) {
  auto lib = port::DynamicLibrary::load("libm.so.6");
  ASSERT_TRUE(lib);
  void* cos = lib->symbol("cos");
  EXPECT_NE(cos, nullptr);
  EXPECT_TRUE(port::is_code_address(cos));
  EXPECT_EQ(lib->symbol("no_such_function_here"), nullptr);
}

TEST(DynamicLibrary, MissingFileGivesAReason) {
  std::string why;
  EXPECT_FALSE(port::DynamicLibrary::load("/nonexistent/pellsql.so", &why));
  EXPECT_FALSE(why.empty());
}

TEST(DynamicLibrary, DataAndSmallValuesAreNoCode) {
  EXPECT_FALSE(port::is_code_address(&some_data));
  EXPECT_FALSE(port::is_code_address(reinterpret_cast<void*>(0x1234)));
  EXPECT_FALSE(port::is_code_address(nullptr));
}
