#pragma once

#include <stdexcept>
#include <string>

namespace corvane {

// A file step of the update failed in a way the update does not handle. The
// program file is unchanged when this is thrown.
class UpdateFailure : public std::runtime_error {
public:
    // operation: what was being done, e.g. "read", "write"; reason: the
    // system's own words for what went wrong.
    UpdateFailure(std::string path, std::string operation, std::string reason);

    const std::string& path() const { return path_; }
    const std::string& operation() const { return operation_; }
    const std::string& reason() const { return reason_; }

private:
    std::string path_;
    std::string operation_;
    std::string reason_;
};

} // namespace corvane
