#pragma once

#include "UserNotifier.h"

#include <string>

namespace corvane {

// What the button "Perform Update" does: replaces the four English texts of
// the program file at path by their Dutch texts and ends the program, or tells
// the user why it cannot and returns, having written nothing.
//
// A file step that fails otherwise (read, create, write, sync, rename) throws
// UpdateFailure; the file is then unchanged and the wait notice still shown.
void PerformUpdate(const std::string& path, UserNotifier& notifier);

} // namespace corvane
