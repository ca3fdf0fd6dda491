// The program file changes under the update: between the path test and the
// read, or while it is being read. The update must report it or refuse, and
// never hang, crash or write a file made of parts.
#include "SystemCallFaults.h"
#include "UpdateOutcome.h"
#include "patch/TargetFile.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using corvane::CanOpenForReading;
using corvane::ReadTargetBytes;
using corvane::UpdateFailure;
using namespace corvane::test;

namespace fs = std::filesystem;

namespace {

struct FileChange {
    std::string name;
    std::function<void(const fs::path&)> apply;
    // "operation|reason" of the failure, or "read" when the read must give
    // the file's content as it is after the change.
    std::string expected;
};

void Replace(const fs::path& program, const std::function<void()>& makeNew) {
    fs::remove(program);
    makeNew();
}

TEST(FileChange, BetweenThePathTestAndTheReadIsReportedOrReadWhole) {
    const FileChange changes[] = {
        {"removed", [](const fs::path& p) { fs::remove(p); },
         "open the file for reading|No such file or directory"},
        {"replaced by a folder",
         [](const fs::path& p) { Replace(p, [&p] { fs::create_directory(p); }); },
         "open the file for reading|Is a directory"},
        // Opening a FIFO for reading would wait for a writer that never comes.
        {"replaced by a FIFO",
         [](const fs::path& p) { Replace(p, [&p] { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }); },
         "open the file for reading|Not a regular file"},
        // A device that never ends would fill the memory.
        {"replaced by a link to a device",
         [](const fs::path& p) { Replace(p, [&p] { fs::create_symlink("/dev/zero", p); }); },
         "open the file for reading|Not a regular file"},
        {"truncated", [](const fs::path& p) { fs::resize_file(p, 0); }, "read"},
        {"grown", [](const fs::path& p) { WriteFileBytes(p, ReadFileBytes(p) + "more"); }, "read"},
    };
    for (const FileChange& change : changes) {
        SCOPED_TRACE(change.name);
        TempDir dir;
        const fs::path program = dir / "Corvane.exe";
        WriteFileBytes(program, MakeUnpatchedImage());
        ASSERT_TRUE(CanOpenForReading(program.string()));
        change.apply(program);

        // In a child with a deadline, so that a read that blocks fails the test.
        const std::string outcome = RunInChildProcess([&program]() -> std::string {
            ::alarm(20);
            try {
                const corvane::TargetBytes target = ReadTargetBytes(program.string());
                const std::string read(target.bytes().begin(), target.bytes().end());
                return read == ReadFileBytes(program) ? "read" : "read other bytes";
            } catch (const UpdateFailure& failure) {
                return (failure.path() == program.string() ? "" : "another path|") +
                       failure.operation() + "|" + failure.reason();
            } catch (const std::exception& other) {
                return std::string("not an UpdateFailure: ") + other.what();
            }
        });
        EXPECT_EQ(outcome, change.expected);
    }
}

TEST(FileChange, WhileTheFileIsReadIsReportedAndNothingIsWritten) {
    const std::string shorter = MakeUnpatchedImage().substr(0, 3000);
    const std::string longer = MakeUnpatchedImage() + "more";
    const FileChange changes[] = {
        {"truncated", [&shorter](const fs::path& p) { WriteFileBytes(p, shorter); },
         "read the file|The file became shorter while it was read"},
        {"grown", [&longer](const fs::path& p) { WriteFileBytes(p, longer); },
         "read the file|The file grew while it was read"},
    };
    for (const FileChange& change : changes) {
        SCOPED_TRACE(change.name);
        TempDir dir;
        const fs::path program = dir / "Corvane.exe";
        WriteFileBytes(program, MakeUnpatchedImage());
        ASSERT_EQ(::chmod(program.c_str(), 0751), 0);

        // Another program changes the file after the update has learnt its
        // length, just before the bytes are read.
        ArmedFault armed({.call = SystemCall::Read,
                          .folder = dir.path(),
                          .error = 0,
                          .before = [&change, &program] { change.apply(program); }});
        EXPECT_EQ(OutcomeOfUpdate(program), program.string() + "|" + change.expected);
        EXPECT_GT(armed.calls(), 0) << "the file was never read";
        const std::string leftByTheOther = change.name == "truncated" ? shorter : longer;
        ExpectUnchangedAndAlone(program, leftByTheOther, 0751);
    }
}

} // namespace
