#include "ui/FindWindow.h"

#ifdef _WIN32

#include <windows.h>

namespace corvane {

bool FindWindowA(std::nullptr_t, const char* windowName) {
    return ::FindWindowA(nullptr, windowName) != nullptr;
}

void PublishWindowTitle(QWidget&) {}

} // namespace corvane

#else

#include "ui/TitleEndpoint.h"
#include "ui/X11WindowList.h"

#include <QGuiApplication>
#include <QLocalServer>
#include <QWidget>

namespace corvane {

bool FindWindowA(std::nullptr_t, const char* windowName) {
    return TitleEndpointAnswers(QString::fromUtf8(windowName)) ||
           X11HasWindowTitled(nullptr, windowName);
}

void PublishWindowTitle(QWidget& window) {
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        return;
    }
    if (std::unique_ptr<QLocalServer> endpoint = HoldTitleEndpoint(window.windowTitle())) {
        endpoint.release()->setParent(&window);
    }
}

} // namespace corvane

#endif
