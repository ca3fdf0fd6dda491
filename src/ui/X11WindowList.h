#pragma once

#include <string_view>

namespace corvane {

// Whether the X server displayName (nullptr: the one in DISPLAY) has a top-level
// client window whose _NET_WM_NAME or WM_NAME is exactly title, byte for byte.
// A server that cannot be reached has none.
bool X11HasWindowTitled(const char* displayName, std::string_view title);

} // namespace corvane
