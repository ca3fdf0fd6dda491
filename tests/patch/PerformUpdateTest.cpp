#include "patch/PerformUpdate.h"

#include "patch/UpdateFailure.h"
#include "support/TestFiles.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using corvane::PerformUpdate;
using namespace corvane::test;
using ::testing::ElementsAre;

namespace fs = std::filesystem;

namespace {

const char* const kWaitOn = "SetWaitNoticeVisible(true)";
const char* const kWaitOff = "SetWaitNoticeVisible(false)";
const char* const kPump = "PumpEvents()";
const char* const kInvalidPath =
    "ShowMessage(Error: File Path is Invalid.  Enter correct path and try again.)";
const char* const kTextMissing = "ShowMessage(Corvane 2000: Can not update now.  Program has "
                                 "already been updated or File Path is invalid.)";
const char* const kComplete = "ShowMessage(Corvane 2000: Update is complete!)";
const char* const kEnd = "EndProgram()";

// What a refused run must leave untouched.
struct FileState {
    std::string bytes;
    struct timespec modified;

    static FileState Of(const fs::path& path) {
        struct stat status {};
        EXPECT_EQ(::stat(path.c_str(), &status), 0);
        return {ReadFileBytes(path), status.st_mtim};
    }
    bool operator==(const FileState& other) const {
        return bytes == other.bytes && modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec;
    }
};

TEST(PerformUpdate, ReplacesTheFourTextsAndEndsTheProgram) {
    TempDir dir;
    const fs::path program = dir / "Corvane.exe";
    WriteFileBytes(program, MakeUnpatchedImage());

    RecordingNotifier notifier;
    PerformUpdate(program.string(), notifier);

    EXPECT_THAT(notifier.calls, ElementsAre(kWaitOn, kPump, kComplete, kEnd));
    EXPECT_EQ(ReadFileBytes(program), MakePatchedImage());
    EXPECT_THAT(EntriesOf(dir.path()), ElementsAre("Corvane.exe")) << "nothing is left beside it";
}

// A file the update must refuse, and what it must say.
struct Refusal {
    std::string name;
    std::string contents;
    std::vector<std::string> expectedCalls;
};

TEST(PerformUpdate, RefusesAFileWithoutAllFourTextsAndWritesNothing) {
    const auto english = WideSearchTexts();
    const std::vector<std::string> textMissing = {kWaitOn, kPump, kTextMissing, kWaitOff};
    const Refusal refusals[] = {
        {"already patched", MakePatchedImage(), textMissing},
        {"rows 1 to 3 only",
         MakeProgramImage(1000, {{0, english[0]}, {200, english[1]}, {400, english[2]}}),
         textMissing},
        {"rows 2 to 4 only",
         MakeProgramImage(1000, {{0, english[1]}, {200, english[2]}, {400, english[3]}}),
         textMissing},
        {"empty file", "", textMissing},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        TempDir dir;
        const fs::path program = dir / "Corvane.exe";
        WriteFileBytes(program, refusal.contents);
        const FileState before = FileState::Of(program);

        RecordingNotifier notifier;
        PerformUpdate(program.string(), notifier);

        EXPECT_EQ(notifier.calls, refusal.expectedCalls);
        EXPECT_TRUE(FileState::Of(program) == before);
        EXPECT_THAT(EntriesOf(dir.path()), ElementsAre("Corvane.exe"));
    }
}

TEST(PerformUpdate, RefusesAPathThatIsNotAReadableRegularFile) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_directory(dir / "folder");
    fs::create_symlink(dir / "folder", dir / "link-to-folder");
    fs::create_symlink(dir / "missing", dir / "dangling-link");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (dir / "socket").string();
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    const std::string paths[] = {
        "",
        (dir / "missing").string(),
        (dir / "folder").string(),
        (dir / "link-to-folder").string(),
        (dir / "dangling-link").string(),
        (dir / "fifo").string(), // opening it for reading would wait for a writer
        socketPath,
        "/dev/null",
        (dir / "folder" / "").string(),
        std::string("/etc/hostname\0.exe", 18),
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE("path \"" + path + "\"");
        RecordingNotifier notifier;
        PerformUpdate(path, notifier);
        EXPECT_THAT(notifier.calls, ElementsAre(kWaitOn, kPump, kWaitOff, kInvalidPath));
    }
    ::close(sock);
}

TEST(PerformUpdate, RefusesAFileItMayNotRead) {
    TempDir dir;
    const fs::path program = dir / "Corvane.exe";
    WriteFileBytes(program, MakeUnpatchedImage());
    fs::permissions(program, fs::perms::owner_write);
    fs::permissions(dir.path(), fs::perms::others_exec, fs::perm_options::add);

    const std::string calls = RunWithoutRootRights([&program] {
        RecordingNotifier notifier;
        PerformUpdate(program.string(), notifier);
        std::string joined;
        for (const std::string& call : notifier.calls) {
            joined += call + "\n";
        }
        return joined;
    });
    EXPECT_EQ(calls,
              std::string(kWaitOn) + "\n" + kPump + "\n" + kWaitOff + "\n" + kInvalidPath + "\n");
    EXPECT_EQ(ReadFileBytes(program), MakeUnpatchedImage());
}

TEST(PerformUpdate, ARefusedRunIsForgottenByTheNext) {
    TempDir dir;
    const fs::path program = dir / "Corvane.exe";
    const fs::path other = dir / "Other.exe";
    WriteFileBytes(program, MakeUnpatchedImage());
    const auto english = WideSearchTexts();
    // Rows 1 to 3 match here: a run that kept them would spoil the next one.
    WriteFileBytes(other,
                   MakeProgramImage(1000, {{0, english[0]}, {200, english[1]}, {400, english[2]}}));

    RecordingNotifier notifier;
    PerformUpdate((dir / "missing").string(), notifier);
    PerformUpdate(other.string(), notifier);
    PerformUpdate(program.string(), notifier);

    EXPECT_THAT(notifier.calls, ElementsAre(kWaitOn, kPump, kWaitOff, kInvalidPath, //
                                            kWaitOn, kPump, kTextMissing, kWaitOff, //
                                            kWaitOn, kPump, kComplete, kEnd));
    EXPECT_EQ(ReadFileBytes(program), MakePatchedImage());
}

TEST(PerformUpdate, KeepsPermissionBitsAndSymlinks) {
    TempDir dir;
    fs::create_directory(dir / "install");
    const fs::path program = dir / "install" / "Corvane.exe";
    const fs::path link = dir / "Corvane-link.exe";
    WriteFileBytes(program, MakeUnpatchedImage());
    ASSERT_EQ(::chmod(program.c_str(), 0751), 0);
    fs::create_symlink(program, link);

    RecordingNotifier notifier;
    PerformUpdate(link.string(), notifier);

    EXPECT_THAT(notifier.calls, ElementsAre(kWaitOn, kPump, kComplete, kEnd));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), program);
    EXPECT_EQ(ReadFileBytes(program), MakePatchedImage());
    struct stat status {};
    ASSERT_EQ(::stat(program.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0751u);
    EXPECT_THAT(EntriesOf(dir.path()), ElementsAre("Corvane-link.exe", "install"));
    EXPECT_THAT(EntriesOf(dir / "install"), ElementsAre("Corvane.exe"));
}

} // namespace
