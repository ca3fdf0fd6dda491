// The main window in Qt's offscreen platform: its design, its icon, and how
// it runs the update from the button to each end.
#include "ui/frmMain.h"

#include "support/TestFiles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <vector>

using corvane::frmMain;
using namespace corvane::test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace fs = std::filesystem;

namespace {

const QString kInvalidPath = "File Path is Invalid.  Enter correct path and try again.";
const QString kTextMissing =
    "Can not update now.  Program has already been updated or File Path is invalid.";
const QString kComplete = "Update is complete!";

template <class Control> Control* Find(const QWidget& window, const char* name) {
    auto* control = window.findChild<Control*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
}

// What a message box showed, and whether the wait notice was visible then.
struct Message {
    QString title;
    QString text;
    bool noticeVisible = false;
};

// Answers each message box the moment it is open, noting what it showed and
// that it was the message the update asks for: modal to the whole program,
// one OK button, no icon.
class MessageAnswerer : public QObject {
public:
    explicit MessageAnswerer(const QWidget& window) : notice_(Find<QLabel>(window, "lblWait")) {
        timer_.setInterval(0);
        connect(&timer_, &QTimer::timeout, this, &MessageAnswerer::AnswerOpenBox);
        timer_.start();
    }

    std::vector<Message> messages;

private:
    void AnswerOpenBox() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        messages.push_back({box->windowTitle(), box->text(), notice_->isVisible()});
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        EXPECT_EQ(box->buttons().size(), 1);
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
            ok->click();
        } else {
            box->reject();
        }
    }

    QLabel* notice_;
    QTimer timer_;
};

// Notes whether the wait notice was painted before any message box was
// open, which is while the update works.
class PaintWatch : public QObject {
public:
    PaintWatch(QWidget* notice, const MessageAnswerer& answerer) : answerer_(answerer) {
        notice->installEventFilter(this);
    }
    bool paintedBeforeAnyMessage = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && answerer_.messages.empty() &&
            QApplication::activeModalWidget() == nullptr) {
            paintedBeforeAnyMessage = true;
        }
        return false;
    }

private:
    const MessageAnswerer& answerer_;
};

class WindowTest : public ::testing::Test {
protected:
    WindowTest() : window([this](int status) { endStatuses.push_back(status); }) {
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    QLineEdit* PathField() { return Find<QLineEdit>(window, "txtFilePath"); }
    QLabel* Notice() { return Find<QLabel>(window, "lblWait"); }
    void ClickUpdate() {
        QTest::mouseClick(Find<QPushButton>(window, "cmdUpdate"), Qt::LeftButton);
    }

    TempDir dir;
    const fs::path program = dir / "Corvane.exe";
    std::vector<int> endStatuses;
    frmMain window;
    MessageAnswerer answerer{window};
};

struct ControlDesign {
    const char* name;
    const char* kind;
    QString text;
    QRect pixels; // the designed twips / 15
    // Family as designed, the font that stands in for it on Linux, size in
    // points and weight; none for the window's default font.
    struct Font {
        QString family;
        QString standIn;
        qreal points;
        bool bold;
    };
    std::optional<Font> font;
    std::optional<QColor> textColour; // none for the default colour
    bool takesFocus;
    bool visibleAtStart;
};

QString TextOf(const QWidget& control) {
    if (auto* label = qobject_cast<const QLabel*>(&control)) {
        return label->text();
    }
    if (auto* field = qobject_cast<const QLineEdit*>(&control)) {
        return field->text();
    }
    return qobject_cast<const QAbstractButton*>(&control)->text();
}

TEST_F(WindowTest, IsLaidOutAsDesigned) {
    const QColor blue(0, 0, 255);
    // In tab order.
    const std::vector<ControlDesign> design = {
        {"Label2",
         "QLabel",
         "Corvane 2000 Dutch Language Patch",
         {56, 8, 361, 33},
         ControlDesign::Font{"Courier New", "Liberation Mono", 11.25, true},
         blue,
         false,
         true},
        {"txtFilePath",
         "QLineEdit",
         R"(C:\Program Files\Corvane\Corvane.exe)",
         {16, 96, 417, 25},
         ControlDesign::Font{"Courier New", "Liberation Mono", 9.75, false},
         std::nullopt,
         true,
         true},
        {"Label4",
         "QLabel",
         "Please Enter the Path of the Corvane Executable Program:",
         {0, 64, 449, 25},
         ControlDesign::Font{"Courier New", "Liberation Mono", 8.25, false},
         blue,
         false,
         true},
        {"cmdUpdate",
         "QPushButton",
         "Perform Update",
         {152, 144, 129, 25},
         std::nullopt,
         std::nullopt,
         true,
         true},
        {"lblWait",
         "QLabel",
         "Please Wait...",
         {304, 144, 137, 17},
         ControlDesign::Font{"MS Sans Serif", "Liberation Sans", 12, true},
         std::nullopt,
         false,
         false},
    };

    std::vector<QString> tabOrder;
    for (const ControlDesign& row : design) {
        SCOPED_TRACE(row.name);
        auto* control = Find<QWidget>(window, row.name);
        ASSERT_NE(control, nullptr);
        EXPECT_STREQ(control->metaObject()->className(), row.kind);
        EXPECT_EQ(TextOf(*control), row.text);
        EXPECT_EQ(control->geometry(), row.pixels);
        if (row.font) {
            EXPECT_EQ(control->font().family(), row.font->family);
            EXPECT_EQ(QFontInfo(control->font()).family(), row.font->standIn);
            EXPECT_DOUBLE_EQ(control->font().pointSizeF(), row.font->points);
            EXPECT_EQ(control->font().bold(), row.font->bold);
            EXPECT_LE(QFontMetrics(control->font()).horizontalAdvance(row.text), row.pixels.width())
                << "the text fits its designed width";
        } else {
            EXPECT_EQ(control->font(), window.font());
        }
        const QColor defaultColour =
            QApplication::palette(control).color(control->foregroundRole());
        EXPECT_EQ(control->palette().color(control->foregroundRole()),
                  row.textColour.value_or(defaultColour));
        EXPECT_EQ((control->focusPolicy() & Qt::TabFocus) != 0, row.takesFocus);
        EXPECT_EQ(control->isVisible(), row.visibleAtStart);
        if (row.takesFocus) {
            tabOrder.push_back(row.name);
        }
    }

    // The window: title, fixed client area, border boxes, centred, no font of its own.
    EXPECT_EQ(window.windowTitle(), "[_ Corvane 2000 _|");
    EXPECT_EQ(window.size(), QSize(447, 182));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags.testFlags(Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    const QPoint offCentre =
        window.geometry().center() - window.screen()->availableGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 1);
    EXPECT_FALSE(window.testAttribute(Qt::WA_SetFont));

    // Focus starts in the path field; Tab moves between it and the button.
    auto* button = Find<QPushButton>(window, "cmdUpdate");
    EXPECT_FALSE(button->isDefault());
    EXPECT_FALSE(button->autoDefault());
    std::vector<QString> focusSeen;
    for (int press = 0; press < 3; ++press) {
        focusSeen.push_back(QApplication::focusWidget()->objectName());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_THAT(focusSeen, ElementsAre(tabOrder[0], tabOrder[1], tabOrder[0]));
}

TEST_F(WindowTest, CarriesTheIconPixelForPixel) {
    const QImage icon = window.windowIcon().pixmap(32, 32).toImage();
    ASSERT_EQ(icon.size(), QSize(32, 32));
    auto designed = [](int x, int y) -> QColor {
        if (y < 6 || y > 25) {
            return Qt::transparent;
        }
        if (y == 6 || y == 25 || x == 0 || x == 31) {
            return QColor(0, 0, 0);
        }
        return y <= 12 ? QColor(255, 0, 0) : y <= 18 ? QColor(255, 255, 255) : QColor(0, 0, 255);
    };
    std::vector<std::string> wrong;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const QColor want = designed(x, y);
            const QColor got = icon.pixelColor(x, y);
            const bool same = want.alpha() == 0 ? got.alpha() == 0 : got == want;
            if (!same) {
                wrong.push_back(QString("(%1,%2) is %3")
                                    .arg(x)
                                    .arg(y)
                                    .arg(got.name(QColor::HexArgb))
                                    .toStdString());
            }
        }
    }
    EXPECT_THAT(wrong, IsEmpty());
}

TEST_F(WindowTest, AClickOnTheProgramFileCompletesTheUpdateAndEndsTheProgramOnce) {
    WriteFileBytes(program, MakeUnpatchedImage());
    PathField()->setText(QString::fromStdString(program.string()));
    PaintWatch paints(Notice(), answerer);

    ClickUpdate();

    ASSERT_EQ(answerer.messages.size(), 1u);
    EXPECT_EQ(answerer.messages[0].title, "Corvane 2000");
    EXPECT_EQ(answerer.messages[0].text, kComplete);
    EXPECT_TRUE(answerer.messages[0].noticeVisible);
    EXPECT_TRUE(paints.paintedBeforeAnyMessage);
    EXPECT_THAT(endStatuses, ElementsAre(0));
    EXPECT_EQ(ReadFileBytes(program), MakePatchedImage());

    // The program has ended: the window takes no further click.
    ClickUpdate();
    EXPECT_EQ(answerer.messages.size(), 1u);
    EXPECT_THAT(endStatuses, ElementsAre(0));
}

TEST_F(WindowTest, AClickArrivingDuringAnUpdateIsIgnored) {
    WriteFileBytes(program, MakeUnpatchedImage());
    PathField()->setText(QString::fromStdString(program.string()));
    // A click already queued runs when the update lets pending events run.
    QMetaObject::invokeMethod(Find<QPushButton>(window, "cmdUpdate"), &QPushButton::click,
                              Qt::QueuedConnection);

    ClickUpdate();

    ASSERT_EQ(answerer.messages.size(), 1u);
    EXPECT_EQ(answerer.messages[0].text, kComplete);
    EXPECT_THAT(endStatuses, ElementsAre(0));
    EXPECT_EQ(ReadFileBytes(program), MakePatchedImage());
}

TEST_F(WindowTest, EachRefusalLeavesTheWindowWaiting) {
    struct Refusal {
        const char* what;
        std::string path;
        QString title;
        QString text;
        bool noticeVisibleAtMessage;
    };
    const fs::path patched = dir / "patched.exe";
    const fs::path other = dir / "other.bin";
    WriteFileBytes(program, MakeUnpatchedImage());
    WriteFileBytes(patched, MakePatchedImage());
    WriteFileBytes(other, MakeProgramImage(4096, {}));
    const std::vector<Refusal> refusals = {
        {"missing file", (dir / "missing.exe").string(), "Error", kInvalidPath, false},
        {"empty path", "", "Error", kInvalidPath, false},
        {"folder", dir.path().string(), "Error", kInvalidPath, false},
        {"path with a trailing blank", program.string() + " ", "Error", kInvalidPath, false},
        {"already patched", patched.string(), "Corvane 2000", kTextMissing, true},
        {"not the program", other.string(), "Corvane 2000", kTextMissing, true},
    };

    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        const QString path = QString::fromStdString(refusal.path);
        PathField()->setText(path);
        // The window waits after a refusal, so a second click is a first
        // run again.
        for (int click = 0; click < 2; ++click) {
            answerer.messages.clear();
            ClickUpdate();
            ASSERT_EQ(answerer.messages.size(), 1u);
            EXPECT_EQ(answerer.messages[0].title, refusal.title);
            EXPECT_EQ(answerer.messages[0].text, refusal.text);
            EXPECT_EQ(answerer.messages[0].noticeVisible, refusal.noticeVisibleAtMessage);
            EXPECT_FALSE(Notice()->isVisible());
            EXPECT_EQ(PathField()->text(), path);
        }
    }
    EXPECT_THAT(endStatuses, IsEmpty());
    EXPECT_EQ(ReadFileBytes(program), MakeUnpatchedImage());
    EXPECT_EQ(ReadFileBytes(patched), MakePatchedImage());
    EXPECT_EQ(ReadFileBytes(other), MakeProgramImage(4096, {}));
    EXPECT_THAT(EntriesOf(dir.path()), ElementsAre("Corvane.exe", "other.bin", "patched.exe"));
}

TEST_F(WindowTest, EnterInThePathFieldStartsNothing) {
    WriteFileBytes(program, MakeUnpatchedImage());
    PathField()->setText(QString::fromStdString(program.string()));
    ASSERT_EQ(QApplication::focusWidget(), PathField());

    QTest::keyClick(PathField(), Qt::Key_Return);
    QTest::keyClick(PathField(), Qt::Key_Enter);

    EXPECT_THAT(answerer.messages, IsEmpty());
    EXPECT_THAT(endStatuses, IsEmpty());
    EXPECT_FALSE(Notice()->isVisible());
    EXPECT_EQ(ReadFileBytes(program), MakeUnpatchedImage());
}

// Files larger than the limit cannot be written while this lives, as with a
// quota or a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        savedHandler_ = std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG
        const rlimit limited{bytes, saved_.rlim_max};
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, savedHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*savedHandler_)(int) = nullptr;
};

// With the window's own way to end: the program's event loop is left with
// a failure status.
TEST(WindowEnd, AFailureTheUpdateDoesNotHandleIsReportedAndEndsTheProgramWithFailure) {
    TempDir dir;
    const fs::path program = dir / "Corvane.exe";
    WriteFileBytes(program, MakeUnpatchedImage());
    frmMain window;
    window.show();
    Find<QLineEdit>(window, "txtFilePath")->setText(QString::fromStdString(program.string()));
    MessageAnswerer answerer(window);
    auto* button = Find<QPushButton>(window, "cmdUpdate");
    QTimer::singleShot(0, button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
    // A deadline, so that a program that never ends fails instead of hanging.
    const int kNeverEnded = -1000;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [] { QCoreApplication::exit(kNeverEnded); });
    deadline.start(60'000);

    int status = 0;
    {
        const FileSizeLimit limit(1000);
        status = QApplication::exec();
    }

    EXPECT_NE(status, 0);
    EXPECT_NE(status, kNeverEnded);
    ASSERT_EQ(answerer.messages.size(), 1u);
    const std::string report = answerer.messages[0].text.toStdString();
    EXPECT_THAT(report, HasSubstr(program.string()));
    EXPECT_THAT(report, HasSubstr("write the updated copy of the file"));
    EXPECT_THAT(report, HasSubstr("File too large"));
    EXPECT_EQ(ReadFileBytes(program), MakeUnpatchedImage());
    EXPECT_THAT(EntriesOf(dir.path()), ElementsAre("Corvane.exe"));
}

} // namespace

int main(int argc, char** argv) {
    // Windows are drawn in memory unless a platform is asked for.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    // Windows of one test closing must not end the event loop of the next.
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
