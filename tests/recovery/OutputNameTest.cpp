// No file or folder is created under a name holding control characters.
#include <gtest/gtest.h>

#include "recovery/KeptFolders.h"
#include "recovery/OutputName.h"

namespace rekkon {
namespace {

TEST(OutputNameTest, ControlCharactersBecomeUnderscores) {
    // C0, DEL and C1 (U+0085, U+009B as UTF-8) each become one '_'; other characters stay.
    const std::string name = "a\x1b[2J\nb\x7f\xC2\x85\xC2\x9B\xC2\xA0\xC3\xA9.txt";
    EXPECT_EQ(safeOutputName(name), "a_[2J_b___\xC2\xA0\xC3\xA9.txt");
    EXPECT_EQ(safeFolderName(name), "a_[2J_b___\xC2\xA0\xC3\xA9.txt");
    // A lead byte at the very end is no C1 control.
    EXPECT_EQ(controlsAsUnderscores("x\xC2"), "x\xC2");
}

}  // namespace
}  // namespace rekkon
