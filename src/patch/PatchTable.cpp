#include "PatchTable.h"

#include <algorithm>

namespace corvane {
namespace {

// A screen text: a run of blanks, the visible words, another run of blanks.
struct PaddedText {
    std::size_t leadingBlanks;
    std::string_view words;
    std::size_t trailingBlanks;

    constexpr std::size_t size() const { return leadingBlanks + words.size() + trailingBlanks; }

    std::string ToString() const {
        std::string text(leadingBlanks, ' ');
        text.append(words);
        text.append(trailingBlanks, ' ');
        return text;
    }
};

struct PatchRow {
    PaddedText search;
    PaddedText replacement;
};

constexpr std::array<PatchRow, 4> kPatchRows{{
    {{28, "Work with Submitted Jobs", 19}, {26, "WERKEN MET AANGEBODEN TAKEN", 18}},
    {{61, "System:", 3}, {60, "Systeem:", 3}},
    {{47, "System  . . . . . :", 3}, {47, "Systeem . . . . . :", 3}},
    {{0, "English", 8}, {0, "Dutch", 10}},
}};

// A replacement of another length would shift the rest of the program file.
static_assert(std::ranges::all_of(kPatchRows, [](const PatchRow& row) {
    return row.search.size() == row.replacement.size();
}));

} // namespace

PatchTable BuildPatchTable() {
    PatchTable table;
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = {kPatchRows[i].search.ToString(), kPatchRows[i].replacement.ToString()};
    }
    return table;
}

std::string WidenText(std::string_view text) {
    std::string wide;
    wide.reserve(text.size() * 2);
    for (char c : text) {
        wide.push_back(c);
        wide.push_back('\0');
    }
    return wide;
}

void WidenPatchTable(PatchTable& table) {
    for (PatchEntry& entry : table) {
        entry.SearchText = WidenText(entry.SearchText);
        entry.ReplacementText = WidenText(entry.ReplacementText);
    }
}

} // namespace corvane
