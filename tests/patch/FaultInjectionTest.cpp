// Each file step of the update meets a fault: a read or a sync refused by the
// disk, a rename that the folder refuses, a file system without a free inode.
// Every one must end in an error that names the path, the step and the
// system's reason, with the program file as it was and nothing beside it.
#include "SystemCallFaults.h"
#include "UpdateOutcome.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace corvane::test;

namespace fs = std::filesystem;

namespace {

struct InjectedFault {
    std::string name;
    SystemCall call;
    int error;
    std::string operation;
    std::string reason;
};

TEST(FaultInjection, AReadOrSyncRefusedByTheDiskLeavesTheOriginal) {
    const InjectedFault faults[] = {
        {"read error", SystemCall::Read, EIO, "read the file", "Input/output error"},
        {"sync error", SystemCall::Fsync, EIO, "save the updated copy of the file to disk",
         "Input/output error"},
        // Space that a thin or network disk only finds missing when it syncs.
        {"full disk at sync", SystemCall::Fsync, ENOSPC,
         "save the updated copy of the file to disk", "No space left on device"},
    };
    for (const InjectedFault& fault : faults) {
        SCOPED_TRACE(fault.name);
        TempDir dir;
        const fs::path program = dir / "Corvane.exe";
        WriteFileBytes(program, MakeUnpatchedImage());
        ASSERT_EQ(::chmod(program.c_str(), 0751), 0);

        int metCalls = 0;
        {
            ArmedFault armed(
                {.call = fault.call, .folder = dir.path(), .error = fault.error, .before = {}});
            EXPECT_EQ(OutcomeOfUpdate(program),
                      program.string() + "|" + fault.operation + "|" + fault.reason);
            metCalls = armed.calls();
        }
        EXPECT_GT(metCalls, 0) << "the fault was never met";
        ExpectUnchangedAndAlone(program, MakeUnpatchedImage(), 0751);
    }
}

TEST(FaultInjection, ARenameRefusedByTheFolderLeavesTheOriginal) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give the file another owner than the updater";
    }
    // In a folder with the sticky bit only a file's owner may rename over it,
    // while anyone may write the file and create files beside it: every step
    // up to the rename succeeds for user nobody, and the rename is refused.
    TempDir dir;
    const fs::path program = dir / "Corvane.exe";
    WriteFileBytes(program, MakeUnpatchedImage());
    ASSERT_EQ(::chmod(program.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 01777), 0);

    EXPECT_EQ(RunWithoutRootRights([&program] { return OutcomeOfUpdate(program); }),
              program.string() + "|put the updated copy in place of the file|" +
                  "Operation not permitted");
    ExpectUnchangedAndAlone(program, MakeUnpatchedImage(), 0666);
}

TEST(FaultInjection, AFileSystemWithoutAFreeInodeLeavesTheOriginal) {
    TempDir dir;
    const fs::path mountPoint = dir / "disk";
    fs::create_directory(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=1m,nr_inodes=64") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    }
    struct Unmount {
        const fs::path& where;
        ~Unmount() { ::umount2(where.c_str(), MNT_DETACH); }
    } unmount{mountPoint};
    fs::create_directory(mountPoint / "install");
    const fs::path program = mountPoint / "install" / "Corvane.exe";
    WriteFileBytes(program, MakeUnpatchedImage());
    ASSERT_EQ(::chmod(program.c_str(), 0751), 0);
    // Empty files in another folder take every inode that is left: plenty
    // of space, but no room for one more file.
    fs::create_directory(mountPoint / "filler");
    for (int i = 0;; ++i) {
        const fs::path filler = mountPoint / "filler" / std::to_string(i);
        const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            ASSERT_EQ(errno, ENOSPC);
            break;
        }
        ::close(fd);
    }

    EXPECT_EQ(OutcomeOfUpdate(program), program.string() + "|create the updated copy of the file|" +
                                            "No space left on device");
    ExpectUnchangedAndAlone(program, MakeUnpatchedImage(), 0751);
}

} // namespace
