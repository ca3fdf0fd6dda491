// Writes the first inputs of the fuzz run into the folder given: program
// images with and without the texts, and small tables with their files.
#include "support/TestFiles.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace corvane::test;

namespace {

std::string Joined(const std::vector<std::string>& parts) {
    std::string joined;
    for (const std::string& part : parts) {
        joined += part;
    }
    return joined;
}

// A table made from the input (see ReplaceFuzzer.cpp): eight lengths, the
// eight texts, then the file.
std::string SmallTable(const std::vector<std::string>& search,
                       const std::vector<std::string>& replacement, const std::string& file) {
    std::string input;
    for (const auto* texts : {&search, &replacement}) {
        for (const std::string& text : *texts) {
            input.push_back(static_cast<char>(text.size()));
        }
    }
    return input + Joined(search) + Joined(replacement) + file;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    const auto english = WideSearchTexts();
    const auto dutch = WideReplacementTexts();

    const std::vector<std::pair<std::string, std::string>> seeds = {
        {"unpatched", MakeUnpatchedImage()},
        {"patched", MakePatchedImage()},
        {"rows-1-to-3",
         MakeProgramImage(1000, {{0, english[0]}, {200, english[1]}, {400, english[2]}})},
        {"texts-back-to-back", Joined(english)},
        {"texts-backwards-twice", english[3] + english[2] + english[1] + english[0] + english[3] +
                                      english[2] + english[1] + english[0]},
        {"english-and-dutch-mixed",
         dutch[0] + english[0] + dutch[1] + english[1] + english[2] + dutch[3] + english[3]},
        {"small-table-all-found",
         SmallTable({"ab", "c", "de", "f"}, {"XY", "Z", "UV", "W"}, "..ab..c..de..f..ab")},
        // Row 2 finds what row 1 wrote and row 3 is missing: both must be undone.
        {"small-table-undone",
         SmallTable({"ab", "Y", "zz", "b"}, {"XY", "Q", "ZZ", "B"}, "xxabyyab")},
        {"small-table-unequal-lengths",
         SmallTable({"abc", "d", "", "e"}, {"X", "LONGER", "", "E"}, "abcdeabcde")},
    };
    for (const auto& [name, bytes] : seeds) {
        WriteFileBytes(folder / name, bytes);
    }
    return 0;
}
