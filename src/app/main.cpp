#include "ui/StartupGuard.h"
#include "ui/frmMain.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(corvane::ProgramIcon());
    // Ties the window to its desktop entry and icon where the desktop cannot
    // tell by the window's class (Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral(CORVANE_APP_ID));

    corvane::frmMain window;
    // The start-up guard runs here, before the window is first shown.
    if (corvane::StartupGuard(window) == corvane::GuardOutcome::Refused) {
        return corvane::RefusedExitStatus;
    }

    window.show();
    return QApplication::exec();
}
