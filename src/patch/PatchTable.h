#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// One English text of the program and the Dutch text written in its place.
// Both are 7-bit ASCII and always of the same length.
struct PatchEntry {
    std::string SearchText;
    std::string ReplacementText;
};

// The four rows, in the fixed order in which they are searched and replaced.
using PatchTable = std::array<PatchEntry, 4>;

// The rows as plain (not yet widened) texts.
PatchTable BuildPatchTable();

// The form in which the program file stores an ASCII text: every character
// followed by one zero byte (UTF-16LE). The result is twice as long.
std::string WidenText(std::string_view text);

// Replaces every text of the table by its widened form, row 1 to row 4.
void WidenPatchTable(PatchTable& table);

} // namespace corvane
