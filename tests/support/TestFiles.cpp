#include "TestFiles.h"

#include "patch/PatchTable.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <grp.h>
#include <iterator>
#include <random>
#include <stdexcept>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

namespace corvane::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Tests make folders read-only; give the rights back so that all can go.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
        if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> EntriesOf(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string RunInChildProcess(const std::function<std::string()>& body) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe");
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        const std::string report = body();
        [[maybe_unused]] auto written = ::write(pipeFds[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string report;
    char buffer[512];
    ssize_t count;
    while ((count = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        report.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        report += " (child process failed)";
    }
    return report;
}

std::string RunWithoutRootRights(const std::function<std::string()>& body) {
    if (::geteuid() != 0) {
        return body();
    }
    return RunInChildProcess([&body]() -> std::string {
        const gid_t nogroup = 65534;
        const uid_t nobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(nogroup) != 0 || ::setuid(nobody) != 0) {
            return "cannot drop root's rights";
        }
        return body();
    });
}

namespace {
std::vector<std::string> WideTexts(bool replacement) {
    std::vector<std::string> texts;
    for (const PatchEntry& entry : BuildPatchTable()) {
        texts.push_back(WidenText(replacement ? entry.ReplacementText : entry.SearchText));
    }
    return texts;
}
} // namespace

std::vector<std::string> WideSearchTexts() {
    return WideTexts(false);
}
std::vector<std::string> WideReplacementTexts() {
    return WideTexts(true);
}

std::string MakeProgramImage(std::size_t size, const std::vector<Placement>& placements) {
    // Filler bytes from 0x80 up can never start or continue a widened ASCII
    // text, so the image holds exactly the texts placed into it.
    std::mt19937 random(2000);
    std::uniform_int_distribution<int> high(0x80, 0xFF);
    std::string image(size, '\0');
    for (char& c : image) {
        c = static_cast<char>(high(random));
    }
    for (const Placement& placement : placements) {
        image.replace(placement.offset, placement.bytes.size(), placement.bytes);
    }
    return image;
}

namespace {
// Rows 3, 1, 4, 2 in file order; offsets even and odd.
const std::size_t kImageSize = 4096;
const std::size_t kOffsets[4] = {1001, 2500, 201, 1800};

std::vector<Placement> PlacementsOf(const std::vector<std::string>& texts) {
    std::vector<Placement> placements;
    for (std::size_t row = 0; row < texts.size(); ++row) {
        placements.push_back({kOffsets[row], texts[row]});
    }
    return placements;
}
} // namespace

std::string MakeUnpatchedImage() {
    return MakeProgramImage(kImageSize, PlacementsOf(WideSearchTexts()));
}

std::string MakePatchedImage() {
    return MakeProgramImage(kImageSize, PlacementsOf(WideReplacementTexts()));
}

void RecordingNotifier::SetWaitNoticeVisible(bool visible) {
    calls.push_back(visible ? "SetWaitNoticeVisible(true)" : "SetWaitNoticeVisible(false)");
}

void RecordingNotifier::PumpEvents() {
    calls.push_back("PumpEvents()");
}

void RecordingNotifier::ShowMessage(const std::string& prompt, const std::string& title) {
    calls.push_back("ShowMessage(" + title + ": " + prompt + ")");
}

void RecordingNotifier::EndProgram() {
    calls.push_back("EndProgram()");
}

} // namespace corvane::test
