#pragma once

#include "patch/UserNotifier.h"

#include <QIcon>
#include <QWidget>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace corvane {

// The program's icon: red, white and blue bands in a black frame.
QIcon ProgramIcon();

// The program's only window: it asks for the path of the program file, starts
// the update from its one button, and shows the wait notice and the messages
// of the update, whose UserNotifier it is.
class frmMain : public QWidget, public UserNotifier {
    Q_OBJECT

public:
    // What ending the program does, given the exit status.
    using EndAction = std::function<void(int exitStatus)>;

    // By default the program ends by leaving the application's event loop.
    explicit frmMain(EndAction endProgram = LeaveEventLoop);

    void SetWaitNoticeVisible(bool visible) override;
    void PumpEvents() override;
    void ShowMessage(const std::string& prompt, const std::string& title) override;
    void EndProgram() override;

    static void LeaveEventLoop(int exitStatus);

private:
    void cmdUpdate_Click();
    void End(int exitStatus);
    void EndWithReport(const std::string& report);

    QLabel* Label2;
    QLineEdit* txtFilePath;
    QLabel* Label4;
    QPushButton* cmdUpdate;
    QLabel* lblWait;

    EndAction endProgram_;
    // The button ignores clicks while an update runs and once the program ends.
    bool busy_ = false;
    bool ended_ = false;
};

} // namespace corvane
