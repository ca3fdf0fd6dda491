#include "patch/ByteReplace.h"
#include "patch/PatchTable.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <string>
#include <vector>

using corvane::FindFirst;
using corvane::WidenText;

namespace {

// The haystack in a buffer of exactly its size, so that a read past its end
// is caught by the address sanitizer.
std::optional<std::size_t> Find(const std::string& haystack, const std::string& needle) {
    const std::vector<char> exact(haystack.begin(), haystack.end());
    return FindFirst(exact, needle);
}

std::optional<std::size_t> PlainFind(const std::string& haystack, const std::string& needle) {
    const auto match = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end());
    if (needle.empty() || match == haystack.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(match - haystack.begin());
}

// The search looks first for the needle's rarest byte, the J here, which
// stands in the middle of the needle.
TEST(FindFirst, FindsMatchesWhereverTheRareByteStands) {
    const std::string needle = WidenText("  Jobs ");
    const std::string J = WidenText("J");
    const std::string blanks = WidenText("        ");
    struct Case {
        const char* what;
        std::string haystack;
        std::optional<std::size_t> expected;
    };
    const Case cases[] = {
        {"whole haystack", needle, 0},
        {"at the start", needle + blanks, 0},
        {"at the very end", blanks + needle, blanks.size()},
        {"rare byte before the first possible start", J + needle, J.size()},
        {"rare byte only near the end", blanks + J + blanks, std::nullopt},
        {"needle cut short at the end", blanks + needle.substr(0, needle.size() - 1), std::nullopt},
        {"false starts before the match", J + J + WidenText(" Jobs") + J + needle + needle,
         J.size() * 3 + WidenText(" Jobs").size()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Find(c.haystack, needle), c.expected) << c.what;
    }
}

// Bytes from a small alphabet of the texts' own bytes make near misses of
// every kind; the result must be that of a plain forward scan.
TEST(FindFirst, AgreesWithAPlainScan) {
    const std::string alphabet("  \0\0\0SyJe", 9);
    std::mt19937 random(6);
    auto randomText = [&](std::size_t size) {
        std::string text;
        for (std::size_t i = 0; i < size; ++i) {
            text.push_back(alphabet[random() % alphabet.size()]);
        }
        return text;
    };
    for (int round = 0; round < 2000; ++round) {
        const std::string haystack = randomText(random() % 200);
        std::string needle = randomText(1 + random() % 6);
        if (!haystack.empty() && random() % 2 == 0) {
            const std::size_t from = random() % haystack.size();
            needle = haystack.substr(from, 1 + random() % 8);
        }
        ASSERT_EQ(Find(haystack, needle), PlainFind(haystack, needle))
            << "round " << round << ", needle size " << needle.size();
    }
}

} // namespace
