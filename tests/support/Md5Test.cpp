#include <gtest/gtest.h>

#include "support/Md5.h"

TEST(Md5Test, KnownAnswers) {
    EXPECT_EQ(rekkon::test::md5Hex(std::string()), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(rekkon::test::md5Hex(std::string("The quick brown fox jumps over the lazy dog")),
              "9e107d9d372bb6826bd81d3542a419d6");
    EXPECT_EQ(rekkon::test::md5Hex(std::string(1000, 'a')), "cabe45dcc9ae5b66ba86600cca6b8ba8");
}
