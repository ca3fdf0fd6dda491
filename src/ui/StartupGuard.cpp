#include "ui/StartupGuard.h"

#include "ui/FindWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

namespace corvane {

QString GuardTitle(const QString& title) {
    return title + QLatin1Char(' ');
}

GuardOutcome StartupGuard(QWidget& window, const WindowLookup& lookup,
                          const std::function<void()>& beep) {
    const QString guardTitle = GuardTitle(window.windowTitle());
    // Asked while the window still has its designed title: it never finds itself.
    if (!lookup(nullptr, guardTitle.toLocal8Bit().constData())) {
        window.setWindowTitle(guardTitle);
        return GuardOutcome::Run;
    }
    const QString rememberedTitle = window.windowTitle();
    window.close();
    beep();
    QMessageBox message(QMessageBox::NoIcon, rememberedTitle, RefusalMessage, QMessageBox::Ok);
    message.exec();
    return GuardOutcome::Refused;
}

GuardOutcome StartupGuard(QWidget& window) {
    const GuardOutcome outcome = StartupGuard(window, FindWindowA, &QApplication::beep);
    if (outcome == GuardOutcome::Run) {
        PublishWindowTitle(window);
    }
    return outcome;
}

} // namespace corvane
