#include "SystemCallFaults.h"

#include <cerrno>
#include <dlfcn.h>
#include <optional>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace corvane::test {
namespace {

std::optional<FaultPlan> armedPlan;
int touchedCalls = 0;

// The folder of the file behind fd (the name may end in " (deleted)" for an
// unnamed file; its folder is what counts).
bool IsInFolder(int fd, const std::filesystem::path& folder) {
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) {
        return false;
    }
    const std::string name(target, static_cast<std::size_t>(length));
    const std::string prefix = folder.string() + "/";
    return name.starts_with(prefix) && name.find('/', prefix.size()) == std::string::npos;
}

// True when the call must fail (errno is then set).
bool InjectFault(SystemCall call, int fd) {
    if (!armedPlan || armedPlan->call != call || !IsInFolder(fd, armedPlan->folder)) {
        return false;
    }
    ++touchedCalls;
    if (armedPlan->before) {
        const auto before = std::move(armedPlan->before);
        armedPlan->before = nullptr;
        before();
    }
    if (armedPlan->error != 0) {
        errno = armedPlan->error;
        return true;
    }
    return false;
}

template <typename Function> Function* RealFunction(const char* name) {
    void* found = ::dlsym(RTLD_NEXT, name);
    if (found == nullptr) {
        ::abort();
    }
    return reinterpret_cast<Function*>(found);
}

} // namespace

ArmedFault::ArmedFault(FaultPlan plan) {
    if (armedPlan) {
        throw std::logic_error("a fault is armed already");
    }
    plan.folder = std::filesystem::canonical(plan.folder);
    armedPlan = std::move(plan);
    touchedCalls = 0;
}

ArmedFault::~ArmedFault() {
    armedPlan.reset();
}

int ArmedFault::calls() const {
    return touchedCalls;
}

} // namespace corvane::test

using corvane::test::InjectFault;
using corvane::test::SystemCall;

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
    static auto* const real = corvane::test::RealFunction<ssize_t(int, void*, size_t)>("read");
    if (InjectFault(SystemCall::Read, fd)) {
        return -1;
    }
    return real(fd, buffer, count);
}

extern "C" int fsync(int fd) {
    static auto* const real = corvane::test::RealFunction<int(int)>("fsync");
    if (InjectFault(SystemCall::Fsync, fd)) {
        return -1;
    }
    return real(fd);
}
