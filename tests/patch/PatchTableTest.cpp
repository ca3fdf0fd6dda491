#include "patch/PatchTable.h"

#include <gtest/gtest.h>
#include <string>

using corvane::BuildPatchTable;
using corvane::PatchTable;
using corvane::WidenPatchTable;
using corvane::WidenText;

namespace {

std::string Blanks(std::size_t count) {
    return std::string(count, ' ');
}

TEST(WidenText, FollowsEveryCharacterWithAZeroByte) {
    EXPECT_EQ(WidenText(""), "");
    EXPECT_EQ(WidenText("AB"), std::string("\x41\x00\x42\x00", 4));

    const std::string english = BuildPatchTable()[3].SearchText;
    std::string expected("E\0n\0g\0l\0i\0s\0h\0", 14);
    for (int i = 0; i < 8; ++i) {
        expected += std::string("\x20\x00", 2);
    }
    EXPECT_EQ(WidenText(english), expected);
    EXPECT_EQ(english, "English" + Blanks(8)) << "the argument is not changed";
}

TEST(WidenText, HasNoLengthLimit) {
    const std::string text(100000, 'x');
    const std::string wide = WidenText(text);
    ASSERT_EQ(wide.size(), 200000u);
    EXPECT_EQ(wide.substr(199998), std::string("x\0", 2));
}

TEST(PatchTable, HoldsTheFourRowsInOrder) {
    const PatchTable table = BuildPatchTable();
    EXPECT_EQ(table[0].SearchText, Blanks(28) + "Work with Submitted Jobs" + Blanks(19));
    EXPECT_EQ(table[0].ReplacementText, Blanks(26) + "WERKEN MET AANGEBODEN TAKEN" + Blanks(18));
    EXPECT_EQ(table[1].SearchText, Blanks(61) + "System:" + Blanks(3));
    EXPECT_EQ(table[1].ReplacementText, Blanks(60) + "Systeem:" + Blanks(3));
    EXPECT_EQ(table[2].SearchText, Blanks(47) + "System  . . . . . :" + Blanks(3));
    EXPECT_EQ(table[2].ReplacementText, Blanks(47) + "Systeem . . . . . :" + Blanks(3));
    EXPECT_EQ(table[3].SearchText, "English" + Blanks(8));
    EXPECT_EQ(table[3].ReplacementText, "Dutch" + Blanks(10));
}

TEST(PatchTable, IsTheSameOnEveryBuild) {
    const PatchTable first = BuildPatchTable();
    const PatchTable second = BuildPatchTable();
    for (std::size_t row = 0; row < first.size(); ++row) {
        EXPECT_EQ(first[row].SearchText, second[row].SearchText);
        EXPECT_EQ(first[row].ReplacementText, second[row].ReplacementText);
    }
}

TEST(PatchTable, WidenedPatternsAreUtf16LeOfEqualLengthPerRow) {
    PatchTable table = BuildPatchTable();
    WidenPatchTable(table);
    const std::size_t expectedLengths[] = {142, 142, 138, 30};
    for (std::size_t row = 0; row < table.size(); ++row) {
        SCOPED_TRACE("row " + std::to_string(row + 1));
        for (const std::string* pattern : {&table[row].SearchText, &table[row].ReplacementText}) {
            ASSERT_EQ(pattern->size(), expectedLengths[row]);
            for (std::size_t i = 0; i < pattern->size(); i += 2) {
                EXPECT_GT(static_cast<unsigned char>((*pattern)[i]), 0x1F) << "at " << i;
                EXPECT_LT(static_cast<unsigned char>((*pattern)[i]), 0x80) << "at " << i;
                EXPECT_EQ((*pattern)[i + 1], '\0') << "at " << i + 1;
            }
        }
    }
}

} // namespace
