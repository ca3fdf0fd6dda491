#pragma once

#include <QString>
#include <cstddef>
#include <functional>

class QWidget;

namespace corvane {

// Is there a top-level window with exactly this title? Shaped as the call
// FindWindowA(nullptr, title).
using WindowLookup = std::function<bool(std::nullptr_t, const char*)>;

enum class GuardOutcome { Run, Refused };

// The exit status of a start the guard refused: the patch did nothing, and a
// caller can tell that from a run the user ended by closing the window.
inline constexpr int RefusedExitStatus = 1;

inline const QString RefusalMessage =
    QStringLiteral("Corvane 2000 should not be running at this time.");

// The title of a running window: the given title followed by one blank.
QString GuardTitle(const QString& title);

// Runs once, after the window is built and before it is first shown. While a
// window titled GuardTitle(window's title) exists, the window is unloaded
// unseen, a beep sounds and the refusal is shown under the window's title;
// it returns Refused when the message has been dismissed, and the program
// then ends. Otherwise the window takes that title, so that copies started
// later find it, and Run is returned.
GuardOutcome StartupGuard(QWidget& window, const WindowLookup& lookup,
                          const std::function<void()>& beep);

// The guard as the program runs it: the system's lookup and beep, and a
// window that goes on to run made findable by its new title.
GuardOutcome StartupGuard(QWidget& window);

} // namespace corvane
