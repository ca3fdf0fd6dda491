#pragma once

#include <cstddef>

class QWidget;

namespace corvane {

// Whether a top-level window titled exactly windowName exists. The one form
// of user32's FindWindowA the program needs: no class name, any window. On
// Windows it is user32's own call. Elsewhere it asks the X server of DISPLAY
// and the local endpoints of running copies (see TitleEndpoint.h).
// windowName is in the system's 8-bit encoding (UTF-8 outside Windows).
bool FindWindowA(std::nullptr_t noClassName, const char* windowName);

// Lets later FindWindowA calls find this window by its current title. Where
// the windows are on an X server or on Windows, the title alone does that;
// elsewhere the window holds an endpoint named after its title while it lives.
void PublishWindowTitle(QWidget& window);

} // namespace corvane
