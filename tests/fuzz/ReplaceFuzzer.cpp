// Any bytes through the in-memory replacement, with the program's own table
// and with small tables made from the input, checked against the plain way of
// doing it: look at every position in turn, row after row.
//
// Properties: the buffer keeps its length (it is allocated to the byte, so a
// write past its end is caught); a refused input comes back unchanged; only
// bytes inside the replaced spans change; the spans are the first occurrences,
// searched row by row in table order on the bytes as earlier rows left them.
#include "patch/ByteReplace.h"
#include "patch/PatchTable.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

using corvane::PatchEntry;
using corvane::PatchTable;

[[noreturn]] void Broken(const char* property) {
    std::fprintf(stderr, "broken: %s\n", property);
    std::abort();
}

std::optional<std::size_t> PlainFindFirst(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) {
        return std::nullopt;
    }
    for (std::size_t at = 0; at + needle.size() <= haystack.size(); ++at) {
        if (haystack.substr(at, needle.size()) == needle) {
            return at;
        }
    }
    return std::nullopt;
}

struct Span {
    std::size_t position;
    std::size_t length;
};

struct PlainResult {
    bool replaced;
    std::string bytes;
    std::vector<Span> spans;
};

PlainResult PlainReplace(const PatchTable& table, std::string_view input) {
    std::string bytes(input);
    std::vector<Span> spans;
    for (const PatchEntry& entry : table) {
        const auto at = PlainFindFirst(bytes, entry.SearchText);
        if (!at) {
            return {false, std::string(input), {}};
        }
        const std::size_t length = std::min(entry.SearchText.size(), entry.ReplacementText.size());
        bytes.replace(*at, length, entry.ReplacementText, 0, length);
        spans.push_back({*at, length});
    }
    return {true, bytes, spans};
}

void Check(const PatchTable& table, std::string_view input) {
    for (const PatchEntry& entry : table) {
        if (corvane::FindFirst(std::span<const char>(input.data(), input.size()),
                               entry.SearchText) != PlainFindFirst(input, entry.SearchText)) {
            Broken("FindFirst finds the first occurrence");
        }
    }

    const std::unique_ptr<char[]> buffer(new char[input.size()]);
    std::copy(input.begin(), input.end(), buffer.get());
    const std::span<char> bytes(buffer.get(), input.size());
    const bool replaced = corvane::ReplaceFirstOccurrences(table, bytes);
    const std::string_view output(buffer.get(), input.size());

    const PlainResult plain = PlainReplace(table, input);
    if (replaced != plain.replaced) {
        Broken("refuses exactly when a row's text is missing");
    }
    if (!replaced && output != input) {
        Broken("a refused input comes back unchanged");
    }
    for (std::size_t i = 0; i < input.size(); ++i) {
        const bool inSpan = std::any_of(plain.spans.begin(), plain.spans.end(), [i](Span s) {
            return i >= s.position && i < s.position + s.length;
        });
        if (output[i] != input[i] && !inSpan) {
            Broken("only bytes inside the replaced spans change");
        }
    }
    if (output != plain.bytes) {
        Broken("the first occurrences are replaced, row by row");
    }
}

const PatchTable& ProgramTable() {
    static const PatchTable table = [] {
        PatchTable widened = corvane::BuildPatchTable();
        corvane::WidenPatchTable(widened);
        return widened;
    }();
    return table;
}

// The first eight bytes give the lengths (0 to 15) of the four search texts
// and the four replacement texts, which follow in that order; the rest of
// the input is the file. Short texts that match often, empty texts and texts
// of unequal length reach paths the program's table never takes.
std::optional<std::pair<PatchTable, std::string_view>> TableFromInput(std::string_view input) {
    if (input.size() < 8) {
        return std::nullopt;
    }
    std::size_t lengths[8];
    std::size_t total = 8;
    for (std::size_t i = 0; i < 8; ++i) {
        lengths[i] = static_cast<unsigned char>(input[i]) % 16;
        total += lengths[i];
    }
    if (input.size() < total) {
        return std::nullopt;
    }
    PatchTable table;
    std::size_t at = 8;
    for (std::size_t i = 0; i < 8; ++i) {
        std::string text(input.substr(at, lengths[i]));
        at += lengths[i];
        (i < 4 ? table[i].SearchText : table[i - 4].ReplacementText) = std::move(text);
    }
    return std::pair{table, input.substr(at)};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    Check(ProgramTable(), input);
    if (const auto made = TableFromInput(input)) {
        Check(made->first, made->second);
    }
    return 0;
}
