#include "ui/StartupGuard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace corvane::test {
namespace {

const QString kDesignedTitle = QStringLiteral("[_ Corvane 2000 _|");

// Counts the times a widget is shown.
class ShowCounter : public QObject {
public:
    explicit ShowCounter(QWidget& widget) { widget.installEventFilter(this); }
    int shows = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        shows += event->type() == QEvent::Show ? 1 : 0;
        return false;
    }
};

struct SeenMessage {
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    std::vector<QString> buttons;
};

// Waits, within the modal loops that come, for the first message box and
// answers it with its first button after noting what it shows.
class MessageAnswerer : public QObject {
public:
    explicit MessageAnswerer(std::vector<std::string>& events) : events_(events) {
        connect(&poll_, &QTimer::timeout, this, [this] { Check(); });
        poll_.start(10);
    }
    std::optional<SeenMessage> seen;

private:
    void Check() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            if (deadline_.hasExpired()) {
                poll_.stop();
            }
            return;
        }
        poll_.stop();
        events_.push_back("message");
        seen = SeenMessage{box->text(), box->windowTitle(), box->icon(), {}};
        for (QAbstractButton* button : box->buttons()) {
            seen->buttons.push_back(box->standardButton(button) == QMessageBox::Ok
                                        ? QStringLiteral("OK")
                                        : button->text());
        }
        box->buttons().front()->click();
    }
    std::vector<std::string>& events_;
    QTimer poll_;
    QDeadlineTimer deadline_{10000};
};

bool AnyWindowVisible() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible()) {
            return true;
        }
    }
    return false;
}

TEST(StartupGuard, GivesTheWindowTheRunningTitleWhenNoWindowHasIt) {
    QWidget window;
    window.setWindowTitle(kDesignedTitle);
    std::vector<std::string> asked;
    std::vector<QString> titleWhenAsked;
    int beeps = 0;
    const auto outcome = StartupGuard(
        window,
        [&](std::nullptr_t, const char* title) {
            asked.emplace_back(title);
            titleWhenAsked.push_back(window.windowTitle());
            return false;
        },
        [&] { ++beeps; });

    EXPECT_EQ(outcome, GuardOutcome::Run);
    EXPECT_EQ(asked, std::vector<std::string>{"[_ Corvane 2000 _| "});
    EXPECT_EQ(titleWhenAsked, std::vector<QString>{kDesignedTitle}) << "the window finds itself";
    EXPECT_EQ(window.windowTitle(), QStringLiteral("[_ Corvane 2000 _| "));
    EXPECT_EQ(beeps, 0);
    EXPECT_FALSE(AnyWindowVisible()) << "the guard shows something on a normal start";
}

TEST(StartupGuard, RefusesUnseenWithABeepAndTheMessageWhileTheRunningTitleExists) {
    QWidget window;
    window.setWindowTitle(kDesignedTitle);
    ShowCounter showCounter(window);
    std::vector<std::string> events;
    MessageAnswerer answerer(events);
    const auto outcome = StartupGuard(
        window,
        [](std::nullptr_t, const char* title) {
            return std::string(title) == "[_ Corvane 2000 _| ";
        },
        [&] { events.push_back("beep"); });

    EXPECT_EQ(outcome, GuardOutcome::Refused);
    EXPECT_EQ(events, (std::vector<std::string>{"beep", "message"}));
    ASSERT_TRUE(answerer.seen);
    EXPECT_EQ(answerer.seen->text,
              QStringLiteral("Corvane 2000 should not be running at this time."));
    EXPECT_EQ(answerer.seen->title, kDesignedTitle);
    EXPECT_EQ(answerer.seen->icon, QMessageBox::NoIcon);
    EXPECT_EQ(answerer.seen->buttons, std::vector<QString>{QStringLiteral("OK")});

    EXPECT_EQ(showCounter.shows, 0) << "the refused window was shown";
    EXPECT_FALSE(window.testAttribute(Qt::WA_WState_Created))
        << "the refused window got a native window";
    EXPECT_FALSE(AnyWindowVisible()) << "a window is left after the refusal";
}

} // namespace
} // namespace corvane::test
