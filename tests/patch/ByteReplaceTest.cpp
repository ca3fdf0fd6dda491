#include "patch/ByteReplace.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>
#include <string>

using corvane::BuildPatchTable;
using corvane::FindFirst;
using corvane::PatchTable;
using corvane::ReplaceFirstOccurrences;
using corvane::WidenPatchTable;
using namespace corvane::test;

namespace {

PatchTable WidenedTable() {
    PatchTable table = BuildPatchTable();
    WidenPatchTable(table);
    return table;
}

std::span<char> Bytes(std::string& s) {
    return {s.data(), s.size()};
}

TEST(FindFirst, FindsTheFirstExactOccurrence) {
    struct Case {
        std::string haystack;
        std::string needle;
        std::optional<std::size_t> expected;
    };
    const Case cases[] = {
        {"abcabc", "abc", 0},         {"xxabcabc", "bc", 3},
        {"aaaab", "aab", 2},          {"abc", "abcd", std::nullopt},
        {"abc", "", std::nullopt},    {"", "a", std::nullopt},
        {"ABC", "abc", std::nullopt}, {std::string("a\0b\0", 4), std::string("b\0", 2), 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindFirst(c.haystack, c.needle), c.expected) << c.haystack << " / " << c.needle;
    }
}

TEST(ReplaceFirstOccurrences, ChangesExactlyTheFourSpans) {
    std::string image = MakeUnpatchedImage();
    ASSERT_TRUE(ReplaceFirstOccurrences(WidenedTable(), Bytes(image)));
    EXPECT_EQ(image, MakePatchedImage());
}

TEST(ReplaceFirstOccurrences, ReplacesOnlyTheFirstOfTwoOccurrences) {
    const auto english = WideSearchTexts();
    const auto dutch = WideReplacementTexts();
    std::string image = MakeProgramImage(2000, {{10, english[0]},
                                                {300, english[1]},
                                                {600, english[2]},
                                                {900, english[3]},
                                                {1200, english[0]},
                                                {1500, english[3]}});
    const std::string expected = MakeProgramImage(2000, {{10, dutch[0]},
                                                         {300, dutch[1]},
                                                         {600, dutch[2]},
                                                         {900, dutch[3]},
                                                         {1200, english[0]},
                                                         {1500, english[3]}});
    ASSERT_TRUE(ReplaceFirstOccurrences(WidenedTable(), Bytes(image)));
    EXPECT_EQ(image, expected);
}

TEST(ReplaceFirstOccurrences, IgnoresNearMisses) {
    const auto english = WideSearchTexts();
    const PatchTable plain = BuildPatchTable();
    std::string wrongCase = english[3];
    wrongCase[0] = 'e';
    std::string oneBlankShort = english[0].substr(2);
    std::string odd = english[0];
    // The decoys stand before the real texts, so a match on any of them
    // would change the wrong bytes.
    std::string image = MakeProgramImage(3000, {{0, plain[0].SearchText},
                                                {100, wrongCase},
                                                {200, oneBlankShort},
                                                {500, english[0]},
                                                {800, english[1]},
                                                {1100, english[2]},
                                                {1400, english[3]}});
    std::string expected = image;
    const auto dutch = WideReplacementTexts();
    expected.replace(500, dutch[0].size(), dutch[0]);
    expected.replace(800, dutch[1].size(), dutch[1]);
    expected.replace(1100, dutch[2].size(), dutch[2]);
    expected.replace(1400, dutch[3].size(), dutch[3]);
    ASSERT_TRUE(ReplaceFirstOccurrences(WidenedTable(), Bytes(image)));
    EXPECT_EQ(image, expected);
}

TEST(ReplaceFirstOccurrences, RestoresTheBytesWhenARowIsMissing) {
    const auto english = WideSearchTexts();
    std::string image =
        MakeProgramImage(1000, {{0, english[0]}, {200, english[1]}, {400, english[2]}});
    const std::string original = image;
    EXPECT_FALSE(ReplaceFirstOccurrences(WidenedTable(), Bytes(image)));
    EXPECT_EQ(image, original);
}

TEST(ReplaceFirstOccurrences, EachSearchSeesWhatEarlierRowsChanged) {
    // A table whose second row looks for what its first row writes.
    PatchTable table{{{"ab", "cd"}, {"cd", "ef"}, {"x", "y"}, {"y", "z"}}};
    std::string bytes = "ab x";
    ASSERT_TRUE(ReplaceFirstOccurrences(table, Bytes(bytes)));
    // Row 2 finds only what row 1 wrote, and row 4 only what row 3 wrote.
    EXPECT_EQ(bytes, "ef z");
}

} // namespace
