// An update killed at any moment, from its start to its end, leaves the
// program file with either all its old bytes or all its new ones, with its
// permission bits, and nothing beside it. The file is large, so that the
// update takes long enough to be killed in each of its steps: the read, the
// search, the write of the new copy, its sync and the rename.
#include "patch/PerformUpdate.h"
#include "support/TestFiles.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <span>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using corvane::PerformUpdate;
using namespace corvane::test;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint64_t kImageSize = std::uint64_t{256} << 20;
constexpr std::size_t kChunkSize = std::size_t{4} << 20;
constexpr mode_t kPermissionBits = 0751;

// Where row 1 to 4 stand: near the end, out of order, at even and odd offsets.
constexpr std::uint64_t kTextOffsets[4] = {kImageSize - 700000, kImageSize - 300001,
                                           kImageSize - 900000, kImageSize - 500003};

// The program image is made and checked chunk by chunk, never held whole.
// Its filler bytes are all 0x80 or above, so it holds no widened text.
void FillFiller(std::uint64_t offset, std::span<char> chunk) {
    for (std::size_t i = 0; i < chunk.size(); i += 8) {
        std::uint64_t word = (offset + i) / 8 + 0x9E3779B97F4A7C15u; // splitmix64
        word = (word ^ (word >> 30)) * 0xBF58476D1CE4E5B9u;
        word = (word ^ (word >> 27)) * 0x94D049BB133111EBu;
        word = (word ^ (word >> 31)) | 0x8080808080808080u;
        std::memcpy(chunk.data() + i, &word, std::min<std::size_t>(8, chunk.size() - i));
    }
}

void Overlay(std::uint64_t offset, std::span<char> chunk, const std::vector<std::string>& texts) {
    for (std::size_t row = 0; row < texts.size(); ++row) {
        for (std::size_t i = 0; i < texts[row].size(); ++i) {
            const std::uint64_t at = kTextOffsets[row] + i;
            if (at >= offset && at < offset + chunk.size()) {
                chunk[at - offset] = texts[row][i];
            }
        }
    }
}

void WriteOriginal(const fs::path& program) {
    const int fd = ::open(program.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    std::vector<char> chunk(kChunkSize);
    for (std::uint64_t offset = 0; offset < kImageSize; offset += kChunkSize) {
        FillFiller(offset, chunk);
        Overlay(offset, chunk, WideSearchTexts());
        ASSERT_EQ(::write(fd, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
    }
    ASSERT_EQ(::fchmod(fd, kPermissionBits), 0);
    // On disk before the runs, so that no run pays for flushing it.
    ASSERT_EQ(::fsync(fd), 0);
    ::close(fd);
}

// An updated file differs from the original in the four texts only.
void RestoreOriginal(const fs::path& program) {
    const int fd = ::open(program.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const auto english = WideSearchTexts();
    for (std::size_t row = 0; row < english.size(); ++row) {
        ASSERT_EQ(::pwrite(fd, english[row].data(), english[row].size(),
                           static_cast<off_t>(kTextOffsets[row])),
                  static_cast<ssize_t>(english[row].size()));
    }
    ASSERT_EQ(::fsync(fd), 0);
    ::close(fd);
}

enum class Content { Original, Updated, Neither };

const char* NameOf(Content content) {
    return content == Content::Original  ? "original"
           : content == Content::Updated ? "updated"
                                         : "neither";
}

Content ContentOf(const fs::path& program) {
    const int fd = ::open(program.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0 ||
        static_cast<std::uint64_t>(status.st_size) != kImageSize) {
        if (fd >= 0) {
            ::close(fd);
        }
        return Content::Neither;
    }
    bool original = true;
    bool updated = true;
    std::vector<char> actual(kChunkSize);
    std::vector<char> expected(kChunkSize);
    for (std::uint64_t offset = 0; offset < kImageSize && (original || updated);
         offset += kChunkSize) {
        std::size_t done = 0;
        while (done < kChunkSize) {
            const ssize_t count = ::pread(fd, actual.data() + done, kChunkSize - done,
                                          static_cast<off_t>(offset + done));
            if (count <= 0) {
                ::close(fd);
                return Content::Neither;
            }
            done += static_cast<std::size_t>(count);
        }
        FillFiller(offset, expected);
        Overlay(offset, expected, WideSearchTexts());
        original = original && actual == expected;
        Overlay(offset, expected, WideReplacementTexts());
        updated = updated && actual == expected;
    }
    ::close(fd);
    return original ? Content::Original : updated ? Content::Updated : Content::Neither;
}

// A writer killed in the middle leaves its copy beside the file only where
// the file system cannot make a file without a name (then nothing can remove
// it). Where it can, as ext4, xfs, btrfs and tmpfs do, nothing is left.
bool FolderHasUnnamedFiles(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

pid_t StartUpdate(const fs::path& program) {
    const pid_t child = ::fork();
    if (child == 0) {
        RecordingNotifier notifier;
        try {
            PerformUpdate(program.string(), notifier);
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(notifier.calls.back() == "EndProgram()" ? 0 : 3);
    }
    return child;
}

// Bytes written so far to a file in folder that child holds open for
// writing: the new copy, named or not; none before it exists.
std::uint64_t BytesBeingWritten(pid_t child, const fs::path& folder) {
    std::error_code error;
    const std::string process = "/proc/" + std::to_string(child);
    for (const auto& fd : fs::directory_iterator(process + "/fd", error)) {
        const fs::path target = fs::read_symlink(fd.path(), error);
        if (error || target.parent_path() != folder) {
            continue;
        }
        // The descriptor may be closed at any moment; then it does not count.
        std::ifstream info(process + "/fdinfo/" + fd.path().filename().string());
        std::string field;
        unsigned long flags = 0;
        while (info >> field && field != "flags:") {
        }
        struct stat status {};
        if (info >> std::oct >> flags && (flags & O_ACCMODE) != O_RDONLY &&
            ::stat(fd.path().c_str(), &status) == 0) {
            return static_cast<std::uint64_t>(status.st_size);
        }
    }
    return 0;
}

// A moment to kill the update: a share of the time a whole run takes, or
// the moment when the new content has been written up to a share of its
// size. The second finds the write however fast the disk is.
struct KillMoment {
    enum Measure { OfTheRunTime, OfTheWrite } measure;
    double share;
};

std::vector<KillMoment> Schedule(int runTimeKills, int writeKills) {
    std::vector<KillMoment> moments;
    for (int i = 0; i < runTimeKills; ++i) {
        // A little past the end too, so that some kills come after the rename.
        moments.push_back({KillMoment::OfTheRunTime, (i + 0.5) / runTimeKills * 1.1});
    }
    for (int i = 0; i < writeKills; ++i) {
        moments.push_back({KillMoment::OfTheWrite, (i + 1.0) / (writeKills + 1)});
    }
    return moments;
}

void KillUpdates(const std::vector<KillMoment>& schedule) {
    TempDir dir;
    const fs::path folder = fs::canonical(dir.path());
    const fs::path program = folder / "Corvane.exe";
    WriteOriginal(program);
    const bool unnamedFiles = FolderHasUnnamedFiles(folder);

    // Whole runs set the time line: the shorter of two, as the first may
    // pay for a cold cache. Each must end with the file updated.
    Clock::duration runTime = Clock::duration::max();
    int status = 0;
    for (int run = 0; run < 2; ++run) {
        const Clock::time_point start = Clock::now();
        const pid_t child = StartUpdate(program);
        ASSERT_GT(child, 0);
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        runTime = std::min(runTime, Clock::now() - start);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        ASSERT_EQ(ContentOf(program), Content::Updated);
        RestoreOriginal(program);
    }
    std::printf("one update of %llu MiB: %.2f s\n",
                static_cast<unsigned long long>(kImageSize >> 20),
                std::chrono::duration<double>(runTime).count());

    for (const KillMoment& moment : schedule) {
        const std::string when =
            std::to_string(static_cast<int>(moment.share * 100)) + "% of " +
            (moment.measure == KillMoment::OfTheRunTime ? "the run time" : "the write");
        SCOPED_TRACE("killed at " + when);
        const Clock::time_point start = Clock::now();
        const pid_t child = StartUpdate(program);
        ASSERT_GT(child, 0);
        if (moment.measure == KillMoment::OfTheRunTime) {
            std::this_thread::sleep_until(
                start + std::chrono::duration_cast<Clock::duration>(runTime * moment.share));
        } else {
            // Polled, as the write is one call that nothing outside can
            // wait on. A child that ends meanwhile has ended the wait.
            const auto wanted = static_cast<std::uint64_t>(moment.share * kImageSize);
            const Clock::time_point deadline = start + 10 * runTime + std::chrono::seconds(30);
            while (BytesBeingWritten(child, folder) < wanted && Clock::now() < deadline &&
                   ::waitpid(child, &status, WNOHANG) == 0) {
            }
        }
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        // A child that ended before the kill must have ended well.
        EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
            << "status " << status;

        const Content content = ContentOf(program);
        std::printf("killed at %s: %s%s\n", when.c_str(), NameOf(content),
                    WIFSIGNALED(status) ? "" : " (the update had ended)");
        EXPECT_STRNE(NameOf(content), "neither");
        struct stat fileStatus {};
        ASSERT_EQ(::stat(program.c_str(), &fileStatus), 0);
        EXPECT_EQ(fileStatus.st_mode & 07777, kPermissionBits);
        const auto entries = EntriesOf(folder);
        if (unnamedFiles) {
            EXPECT_EQ(entries, std::vector<std::string>{"Corvane.exe"});
        } else {
            for (const std::string& entry : entries) {
                EXPECT_TRUE(entry == "Corvane.exe" || entry.starts_with("Corvane.exe.")) << entry;
                if (entry != "Corvane.exe") {
                    fs::remove(folder / entry);
                }
            }
        }
        if (content == Content::Updated) {
            RestoreOriginal(program);
        } else if (content == Content::Neither) {
            return; // the rest would only repeat the finding
        }
    }
}

TEST(Crash, AnUpdateKilledAtAHandfulOfMomentsLosesNothing) {
    KillUpdates(Schedule(6, 3));
}

TEST(CrashLong, AnUpdateKilledAtManyMomentsLosesNothing) {
    KillUpdates(Schedule(50, 20));
}

} // namespace
