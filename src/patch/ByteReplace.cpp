#include "ByteReplace.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace corvane {

namespace {

// How often a byte turns up in a program file, from rare (1) to most common:
// zero bytes fill the gaps and every second byte of UTF-16 text, blanks pad
// the texts, lower-case letters make up most of their words.
int Commonness(char byte) {
    if (byte == '\0') {
        return 4;
    }
    if (byte == ' ') {
        return 3;
    }
    return byte >= 'a' && byte <= 'z' ? 2 : 1;
}

// The position in needle of the byte that the search looks for first: the
// rarest, so that candidates are few and far between.
std::size_t AnchorOf(std::string_view needle) {
    std::size_t anchor = 0;
    for (std::size_t i = 1; i < needle.size(); ++i) {
        if (Commonness(needle[i]) < Commonness(needle[anchor])) {
            anchor = i;
        }
    }
    return anchor;
}

} // namespace

// memchr runs close to memory bandwidth; each byte it stops at is checked for
// a whole match. A skip table would do worse here: the texts consist mostly of
// blanks and zero bytes, as does much of a program file.
std::optional<std::size_t> FindFirst(std::span<const char> haystack, std::string_view needle) {
    if (needle.empty() || needle.size() > haystack.size()) {
        return std::nullopt;
    }
    const std::size_t anchor = AnchorOf(needle);
    const char* const first = haystack.data();
    // The anchor of a match that starts at the last possible position.
    const char* const end = first + haystack.size() - needle.size() + anchor + 1;
    for (const char* candidate = first + anchor; candidate < end; ++candidate) {
        candidate = static_cast<const char*>(
            std::memchr(candidate, needle[anchor], static_cast<std::size_t>(end - candidate)));
        if (candidate == nullptr) {
            break;
        }
        const char* const start = candidate - anchor;
        if (std::memcmp(start, needle.data(), needle.size()) == 0) {
            return static_cast<std::size_t>(start - first);
        }
    }
    return std::nullopt;
}

bool ReplaceFirstOccurrences(const PatchTable& widenedTable, std::span<char> bytes) {
    struct Overwritten {
        std::size_t position;
        std::string original;
    };
    std::vector<Overwritten> undo;

    for (const PatchEntry& entry : widenedTable) {
        const auto match = FindFirst(bytes, entry.SearchText);
        if (!match) {
            for (auto it = undo.rbegin(); it != undo.rend(); ++it) {
                std::ranges::copy(it->original, bytes.begin() + it->position);
            }
            return false;
        }
        const std::size_t count = std::min(
            {entry.SearchText.size(), entry.ReplacementText.size(), bytes.size() - *match});
        auto span = bytes.subspan(*match, count);
        undo.push_back({*match, std::string(span.begin(), span.end())});
        std::copy_n(entry.ReplacementText.begin(), count, span.begin());
    }
    return true;
}

} // namespace corvane
