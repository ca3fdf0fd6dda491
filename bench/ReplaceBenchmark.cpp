// Scan rates of the in-memory replacement and of WidenText, beside memchr
// over the same buffer as the reference for what one pass over memory costs.
#include "patch/ByteReplace.h"
#include "patch/PatchTable.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using corvane::PatchTable;

// Never used by a filler: put once at the very end, memchr for it crosses the
// whole buffer.
constexpr char kSentinel = static_cast<char>(0xF1);

enum class Filler {
    // Uniform random bytes: the kindest case for a skip table.
    Random,
    // What a program file is made of: runs of zero bytes, UTF-16 texts with
    // blanks (among them near misses of the four texts) and machine code.
    ProgramLike,
    // UTF-16 blanks throughout, as in a padded text table: the bytes of which
    // the texts themselves mostly consist.
    Blanks,
};

const char* NameOf(Filler filler) {
    switch (filler) {
    case Filler::Random:
        return "random";
    case Filler::ProgramLike:
        return "program_like";
    case Filler::Blanks:
        return "utf16_blanks";
    }
    return "?";
}

PatchTable WidenedTable() {
    PatchTable table = corvane::BuildPatchTable();
    corvane::WidenPatchTable(table);
    return table;
}

char RandomByte(std::mt19937_64& random) {
    const auto byte = static_cast<char>(random());
    return byte == kSentinel ? '\0' : byte;
}

void AppendWideText(std::string& out, std::string_view text) {
    out += corvane::WidenText(text);
}

void FillProgramLike(std::string& out, std::size_t size, std::mt19937_64& random) {
    static const std::vector<std::string_view> kWords = {
        "Work",   "with",    "Submitted", "Jobs",  "System", "System:", "English", ". . . . .",
        "File",   "Edit",    "View",      "Help",  "Print",  "Queue",   "Status",  "Message",
        "Object", "Library", "Options",   "Enter", "Cancel", "Dutch",   "Spool",   "Job:"};
    while (out.size() < size) {
        switch (random() % 3) {
        case 0:
            out.append(16 + random() % 500, '\0');
            break;
        case 1:
            for (std::size_t words = 1 + random() % 12; words > 0; --words) {
                // Blank runs stay shorter than any run in the four texts.
                AppendWideText(out, std::string(random() % 8, ' '));
                AppendWideText(out, kWords[random() % kWords.size()]);
            }
            out.append(2, '\0');
            break;
        default:
            for (std::size_t count = 32 + random() % 1000; count > 0; --count) {
                out.push_back(RandomByte(random));
            }
            break;
        }
    }
    out.resize(size);
}

// A buffer of the given size whose four English texts stand at its end, so
// that every search crosses the whole buffer, followed by the sentinel.
struct Target {
    std::string bytes;
    std::vector<std::pair<std::size_t, std::string>> texts;

    // Puts the English texts back after a replacement changed them.
    void Restore() {
        for (const auto& [offset, text] : texts) {
            std::memcpy(bytes.data() + offset, text.data(), text.size());
        }
    }
};

Target MakeTarget(Filler filler, std::size_t size) {
    std::mt19937_64 random(2000);
    Target target;
    std::string& bytes = target.bytes;
    bytes.reserve(size);
    switch (filler) {
    case Filler::Random:
        bytes.resize(size);
        for (char& c : bytes) {
            c = RandomByte(random);
        }
        break;
    case Filler::ProgramLike:
        FillProgramLike(bytes, size, random);
        break;
    case Filler::Blanks:
        for (std::size_t i = 0; i < size; ++i) {
            bytes.push_back(i % 2 == 0 ? ' ' : '\0');
        }
        break;
    }
    const PatchTable table = WidenedTable();
    for (const corvane::PatchEntry& entry : table) {
        // A filler must not hold a text itself, or the searches would stop early.
        if (bytes.find(entry.SearchText) != std::string::npos) {
            std::abort();
        }
    }
    // Rows in the order 4, 2, 3, 1 from an odd offset, each after a zero pair.
    std::size_t offset = size - 1024 + 1;
    for (int row : {3, 1, 2, 0}) {
        offset += 2;
        target.texts.emplace_back(offset, table[row].SearchText);
        offset += table[row].SearchText.size();
    }
    target.Restore();
    bytes.back() = kSentinel;
    return target;
}

Target& CachedTarget(Filler filler, std::size_t size) {
    static std::map<std::pair<Filler, std::size_t>, std::unique_ptr<Target>> cache;
    auto& slot = cache[{filler, size}];
    if (!slot) {
        slot = std::make_unique<Target>(MakeTarget(filler, size));
    }
    return *slot;
}

void ReplaceFourRows(benchmark::State& state, Filler filler) {
    Target& target = CachedTarget(filler, static_cast<std::size_t>(state.range(0)));
    const PatchTable table = WidenedTable();
    std::span<char> bytes(target.bytes.data(), target.bytes.size());
    for (auto _ : state) {
        if (!corvane::ReplaceFirstOccurrences(table, bytes)) {
            state.SkipWithError("a text was not found");
            break;
        }
        target.Restore();
    }
    // Each of the four searches crosses the buffer; this is the rate of one.
    state.SetBytesProcessed(state.iterations() * 4 * state.range(0));
}

void Memchr(benchmark::State& state, Filler filler) {
    const Target& target = CachedTarget(filler, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        const void* found = std::memchr(target.bytes.data(), kSentinel, target.bytes.size());
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void WidenTextRate(benchmark::State& state) {
    const std::string text(static_cast<std::size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        std::string wide = corvane::WidenText(text);
        benchmark::DoNotOptimize(wide.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void WidenTable(benchmark::State& state) {
    for (auto _ : state) {
        PatchTable table = WidenedTable();
        benchmark::DoNotOptimize(table[0].SearchText.data());
    }
}

constexpr std::int64_t kMiB = 1 << 20;

void RegisterScans() {
    for (Filler filler : {Filler::Random, Filler::ProgramLike, Filler::Blanks}) {
        const std::string suffix = std::string("/") + NameOf(filler);
        benchmark::RegisterBenchmark(("ReplaceFourRows" + suffix).c_str(), ReplaceFourRows, filler)
            ->RangeMultiplier(16)
            ->Range(kMiB, 256 * kMiB)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Memchr" + suffix).c_str(), Memchr, filler)
            ->RangeMultiplier(16)
            ->Range(kMiB, 256 * kMiB)
            ->Unit(benchmark::kMillisecond);
    }
}

} // namespace

BENCHMARK(WidenTextRate)->Arg(71)->Arg(64 << 10);
BENCHMARK(WidenTable);

int main(int argc, char** argv) {
    RegisterScans();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
