#pragma once

#include <filesystem>
#include <functional>

// Faults that no file system here produces on demand: a read or a sync that
// the disk refuses, or a file that another program changes in the middle of a
// read. The test executable defines read() and fsync() itself; those take the
// place of the C library's for the whole process, Qt included, and pass every
// call through to the real ones unless a fault is armed for the file's folder.
namespace corvane::test {

enum class SystemCall { Read, Fsync };

struct FaultPlan {
    SystemCall call;
    // Only calls on files directly in this folder are touched.
    std::filesystem::path folder;
    // When not zero, each such call fails with this errno.
    int error = 0;
    // When set, runs once, just before the first such call goes ahead.
    std::function<void()> before;
};

// Arms a plan for as long as it lives; one at a time.
class ArmedFault {
public:
    explicit ArmedFault(FaultPlan plan);
    ~ArmedFault();
    ArmedFault(const ArmedFault&) = delete;
    ArmedFault& operator=(const ArmedFault&) = delete;

    // How many calls the plan has touched so far.
    int calls() const;
};

} // namespace corvane::test
