#pragma once

#include <QString>
#include <memory>

class QLocalServer;

namespace corvane {

// Where there is no window list to search by title, a running copy holds a
// local endpoint named after its window title. It belongs to the user: it
// lives in XDG_RUNTIME_DIR (or carries the user id in its name) and only the
// user may connect to it.
QString TitleEndpointPath(const QString& title);

// Whether a live endpoint of this user answers for the title.
bool TitleEndpointAnswers(const QString& title);

// Starts listening for the title and returns the endpoint; it ends with the
// returned object. A socket file left by a copy that crashed is taken over;
// when a live copy already answers for the title, its endpoint stays and the
// result is empty.
std::unique_ptr<QLocalServer> HoldTitleEndpoint(const QString& title);

} // namespace corvane
