#include "ByteReplace.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace corvane {

std::optional<std::size_t> FindFirst(std::span<const char> haystack, std::string_view needle) {
    if (needle.empty() || needle.size() > haystack.size()) {
        return std::nullopt;
    }
    const std::boyer_moore_horspool_searcher searcher(needle.begin(), needle.end());
    const auto match = std::search(haystack.begin(), haystack.end(), searcher);
    if (match == haystack.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(match - haystack.begin());
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
