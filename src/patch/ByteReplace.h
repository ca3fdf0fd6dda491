#pragma once

#include "PatchTable.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace corvane {

// Position of the first occurrence of needle in haystack, compared byte for
// byte; none for an empty needle or when there is no occurrence.
std::optional<std::size_t> FindFirst(std::span<const char> haystack, std::string_view needle);

// For each row of a widened table, in order, overwrites the first occurrence
// of its SearchText with its ReplacementText; every search starts at the
// first byte and sees what earlier rows changed. When a row's text is missing
// the bytes are restored as they were and false is returned.
bool ReplaceFirstOccurrences(const PatchTable& widenedTable, std::span<char> bytes);

} // namespace corvane
