#include "support/TestFiles.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

using namespace corvane::test;

namespace {

// Exit status of corvane-update-bench run with args, or -1 when it did not
// exit normally.
int RunDriver(std::vector<std::string> args) {
    args.insert(args.begin(), CORVANE_UPDATE_BENCH);
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, CORVANE_UPDATE_BENCH, nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

TEST(UpdateBenchDriver, ExitsZeroOnlyWhenTheUpdateCompleted) {
    TempDir dir;
    struct Case {
        const char* what;
        std::string content;
        int exitStatus;
        std::string contentAfter;
    };
    const Case cases[] = {
        {"unpatched", MakeUnpatchedImage(), 0, MakePatchedImage()},
        {"already patched", MakePatchedImage(), 1, MakePatchedImage()},
    };
    for (const Case& c : cases) {
        const auto file = dir / "Corvane.exe";
        WriteFileBytes(file, c.content);
        EXPECT_EQ(RunDriver({file.string()}), c.exitStatus) << c.what;
        EXPECT_EQ(ReadFileBytes(file), c.contentAfter) << c.what;
    }
    EXPECT_EQ(RunDriver({(dir / "missing.exe").string()}), 1);
    EXPECT_EQ(EntriesOf(dir.path()), std::vector<std::string>{"Corvane.exe"});
}

} // namespace
