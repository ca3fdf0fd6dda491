#include "frmMain.h"

#include "corvane.xpm"
#include "patch/PerformUpdate.h"
#include "patch/UpdateFailure.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QRect>
#include <QScreen>
#include <cstdlib>
#include <exception>
#include <utility>

namespace corvane {
namespace {

// The window is laid out in twips; 15 twips make one device-independent pixel.
constexpr int kTwipsPerPixel = 15;

QRect FromTwips(int left, int top, int width, int height) {
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
            height / kTwipsPerPixel};
}

const QColor kBlue(0, 0, 255);

QFont DesignFont(const QString& family, qreal points, bool bold, QFont::StyleHint hint) {
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setStyleHint(hint);
    return font;
}

// "Courier New" needs no help: fontconfig maps it to Liberation Mono, its
// metric-compatible stand-in. "MS Sans Serif" is an old bitmap font that
// Windows itself draws with "Microsoft Sans Serif", a plain sans serif close
// to Arial in width; Liberation Sans has Arial's widths, so the notice keeps
// its designed size where neither font is installed.
void SubstituteMissingFonts() {
    QFont::insertSubstitutions("MS Sans Serif", {"Microsoft Sans Serif", "Liberation Sans"});
}

QLabel* MakeLabel(QWidget* window, const char* name, const QString& text, const QRect& place,
                  const QFont& font) {
    auto* label = new QLabel(text, window);
    label->setObjectName(name);
    label->setGeometry(place);
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

constexpr int kFailureExitStatus = 1;

} // namespace

QIcon ProgramIcon() {
    return QIcon(QPixmap(corvane_icon_xpm));
}

frmMain::frmMain(EndAction endProgram) : endProgram_(std::move(endProgram)) {
    SubstituteMissingFonts();

    setObjectName("frmMain");
    // A fixed single-line border: minimise and close boxes, no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle("[_ Corvane 2000 _|");
    setWindowIcon(ProgramIcon());

    // Created in tab order, which is also Qt's focus chain.
    Label2 = MakeLabel(this, "Label2", "Corvane 2000 Dutch Language Patch",
                       FromTwips(840, 120, 5415, 495),
                       DesignFont("Courier New", 11.25, true, QFont::TypeWriter));
    SetTextColour(Label2, kBlue);

    txtFilePath = new QLineEdit(R"(C:\Program Files\Corvane\Corvane.exe)", this);
    txtFilePath->setObjectName("txtFilePath");
    txtFilePath->setGeometry(FromTwips(240, 1440, 6255, 375));
    txtFilePath->setFont(DesignFont("Courier New", 9.75, false, QFont::TypeWriter));

    Label4 = MakeLabel(this, "Label4", "Please Enter the Path of the Corvane Executable Program:",
                       FromTwips(0, 960, 6735, 375),
                       DesignFont("Courier New", 8.25, false, QFont::TypeWriter));
    SetTextColour(Label4, kBlue);
    // Assistive technology reads the prompt as the path field's name.
    Label4->setBuddy(txtFilePath);

    cmdUpdate = new QPushButton("Perform Update", this);
    cmdUpdate->setObjectName("cmdUpdate");
    cmdUpdate->setGeometry(FromTwips(2280, 2160, 1935, 375));
    // Enter must never start the update.
    cmdUpdate->setDefault(false);
    cmdUpdate->setAutoDefault(false);
    connect(cmdUpdate, &QPushButton::clicked, this, &frmMain::cmdUpdate_Click);

    lblWait = MakeLabel(this, "lblWait", "Please Wait...", FromTwips(4560, 2160, 2055, 255),
                        DesignFont("MS Sans Serif", 12, true, QFont::SansSerif));
    lblWait->hide();

    setTabOrder(txtFilePath, cmdUpdate);
    txtFilePath->setFocus();

    // The client area, fixed in size and centred on the screen.
    QRect client = FromTwips(0, 0, 6705, 2730);
    setFixedSize(client.size());
    client.moveCenter(screen()->availableGeometry().center());
    setGeometry(client);
}

void frmMain::SetWaitNoticeVisible(bool visible) {
    lblWait->setVisible(visible);
}

void frmMain::PumpEvents() {
    QApplication::processEvents();
}

void frmMain::ShowMessage(const std::string& prompt, const std::string& title) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title),
                    QString::fromStdString(prompt), QMessageBox::Ok, this);
    // A path in a message is shown as typed, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void frmMain::EndProgram() {
    End(EXIT_SUCCESS);
}

void frmMain::LeaveEventLoop(int exitStatus) {
    QCoreApplication::exit(exitStatus);
}

void frmMain::End(int exitStatus) {
    ended_ = true;
    endProgram_(exitStatus);
}

void frmMain::EndWithReport(const std::string& report) {
    ShowMessage(report, "Error");
    End(kFailureExitStatus);
}

void frmMain::cmdUpdate_Click() {
    // A click that was queued when the update let pending events run, or
    // one that comes after the end.
    if (busy_ || ended_) {
        return;
    }
    busy_ = true;
    const std::string path = txtFilePath->text().toStdString();
    // No exception may leave into the event loop: a failure that the update
    // does not handle is reported, and it ends the program.
    try {
        PerformUpdate(path, *this);
    } catch (const UpdateFailure& failure) {
        EndWithReport(std::string(failure.what()) + ".\n\nThe file has not been changed.");
    } catch (const std::exception& error) {
        EndWithReport("Could not update \"" + path + "\": " + error.what() + ".");
    }
    busy_ = false;
}

} // namespace corvane
