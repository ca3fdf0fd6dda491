// Failures of the file steps that the update does not handle itself: each
// must leave the program file as it was, nothing beside it, and an error that
// names the path, the step and the system's reason.
#include "UpdateOutcome.h"
#include "support/TestFiles.h"

#include <csignal>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace corvane::test;
using ::testing::ElementsAre;

namespace fs = std::filesystem;

namespace {

TEST(FileFault, AWriteStoppedPartWayLeavesTheOriginal) {
    TempDir dir;
    const fs::path program = dir / "Corvane.exe";
    WriteFileBytes(program, MakeUnpatchedImage());
    ASSERT_GT(MakeUnpatchedImage().size(), 1000u);

    // The child may not write files larger than 1000 bytes, as a quota or a
    // full disk would stop the write part way.
    const std::string report = RunInChildProcess([&program] {
        std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
        const rlimit fileSize{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &fileSize);
        return OutcomeOfUpdate(program);
    });
    EXPECT_EQ(report, program.string() + "|write the updated copy of the file|File too large");
    EXPECT_EQ(ReadFileBytes(program), MakeUnpatchedImage());
    EXPECT_THAT(EntriesOf(dir.path()), ElementsAre("Corvane.exe"));
}

TEST(FileFault, AFolderWithoutWriteRightLeavesTheOriginal) {
    TempDir dir;
    const fs::path program = dir / "Corvane.exe";
    WriteFileBytes(program, MakeUnpatchedImage());
    // The file may be written by everyone, its folder by no one but root.
    fs::permissions(program, fs::perms::all);
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::remove);

    EXPECT_EQ(RunWithoutRootRights([&program] { return OutcomeOfUpdate(program); }),
              program.string() + "|create the updated copy of the file|Permission denied");
    EXPECT_EQ(ReadFileBytes(program), MakeUnpatchedImage());
    EXPECT_THAT(EntriesOf(dir.path()), ElementsAre("Corvane.exe"));
}

// A small tmpfs of its own, unmounted again when the test ends. Needs root.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const fs::path& where, const std::string& size) : where_(where) {
        fs::create_directory(where_);
        mounted_ = ::mount("tmpfs", where_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~SmallFileSystem() {
        if (mounted_) {
            ::umount2(where_.c_str(), MNT_DETACH);
        }
    }
    bool mounted() const { return mounted_; }
    bool RemountReadOnly() {
        return ::mount("tmpfs", where_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    fs::path where_;
    bool mounted_ = false;
};

TEST(FileFault, AFullDiskIsReportedInTheSystemsWords) {
    TempDir dir;
    SmallFileSystem disk(dir / "disk", "64k");
    if (!disk.mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    }
    const fs::path program = dir / "disk" / "Corvane.exe";
    // Room for the file, but not for a second copy of it beside it.
    const auto english = WideSearchTexts();
    const std::string image = MakeProgramImage(
        40 * 1024, {{0, english[0]}, {500, english[1]}, {1000, english[2]}, {1500, english[3]}});
    WriteFileBytes(program, image);

    EXPECT_EQ(OutcomeOfUpdate(program),
              program.string() + "|write the updated copy of the file|No space left on device");
    EXPECT_EQ(ReadFileBytes(program), image);
    EXPECT_THAT(EntriesOf(dir / "disk"), ElementsAre("Corvane.exe"));
}

TEST(FileFault, AReadOnlyFileSystemIsReportedInTheSystemsWords) {
    TempDir dir;
    SmallFileSystem disk(dir / "disk", "1m");
    if (!disk.mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    }
    const fs::path program = dir / "disk" / "Corvane.exe";
    WriteFileBytes(program, MakeUnpatchedImage());
    ASSERT_TRUE(disk.RemountReadOnly());

    EXPECT_EQ(OutcomeOfUpdate(program),
              program.string() + "|create the updated copy of the file|Read-only file system");
    EXPECT_EQ(ReadFileBytes(program), MakeUnpatchedImage());
    EXPECT_THAT(EntriesOf(dir / "disk"), ElementsAre("Corvane.exe"));
}

} // namespace
