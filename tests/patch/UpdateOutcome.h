#pragma once

#include "patch/PerformUpdate.h"
#include "patch/UpdateFailure.h"
#include "support/TestFiles.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

namespace corvane::test {

// How an update of program ended: "path|operation|reason" for a failure, or
// the last call it made on the notifier.
inline std::string OutcomeOfUpdate(const std::filesystem::path& program) {
    RecordingNotifier notifier;
    try {
        PerformUpdate(program.string(), notifier);
    } catch (const UpdateFailure& failure) {
        const std::string expectedWords =
            "Could not " + failure.operation() + " \"" + failure.path() + "\": " + failure.reason();
        if (failure.what() != expectedWords) {
            return std::string("a report in other words: ") + failure.what();
        }
        return failure.path() + "|" + failure.operation() + "|" + failure.reason();
    }
    return notifier.calls.empty() ? "no calls" : notifier.calls.back();
}

inline mode_t PermissionBitsOf(const std::filesystem::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

// The program file holds exactly bytes, keeps its permission bits, and there
// is nothing beside it in its folder.
inline void ExpectUnchangedAndAlone(const std::filesystem::path& program, const std::string& bytes,
                                    mode_t permissionBits) {
    EXPECT_TRUE(ReadFileBytes(program) == bytes) << program << " was changed";
    EXPECT_EQ(PermissionBitsOf(program), permissionBits);
    EXPECT_THAT(EntriesOf(program.parent_path()),
                ::testing::ElementsAre(program.filename().string()));
}

} // namespace corvane::test
