#include "volume/LazyLibrary.h"

#include <gtest/gtest.h>

namespace rekkon {
namespace {

// A library is loaded under the first of its names that loads; one that loads under none says
// why, and gives no symbols.
TEST(LazyLibraryTest, LoadsTheFirstNameThatLoadsOrSaysWhyNot) {
    LazyLibrary math({"libno-such-library.so.9", "libm.so.6"});
    ASSERT_TRUE(math.load());
    EXPECT_NE(math.symbol("cos"), nullptr);
    EXPECT_EQ(math.symbol("no_such_function"), nullptr);

    LazyLibrary missing({"libno-such-library.so.9"});
    EXPECT_FALSE(missing.load());
    EXPECT_FALSE(missing.load());
    EXPECT_NE(missing.error().find("libno-such-library.so.9"), std::string::npos);
    EXPECT_EQ(missing.symbol("cos"), nullptr);
}

}  // namespace
}  // namespace rekkon
