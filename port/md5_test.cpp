#include "port/md5.h"

#include <gtest/gtest.h>

TEST(Md5, KnownDigests) {
  EXPECT_EQ(port::md5_hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(port::md5_hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(port::md5_hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
}
