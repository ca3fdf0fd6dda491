#include "UpdateFailure.h"

#include <utility>

namespace corvane {

UpdateFailure::UpdateFailure(std::string path, std::string operation, std::string reason)
    : std::runtime_error("Could not " + operation + " \"" + path + "\": " + reason),
      path_(std::move(path)), operation_(std::move(operation)), reason_(std::move(reason)) {}

} // namespace corvane
