// What assistive technology learns of the window through Qt's accessibility
// interface: each control's role and name, the prompt as the path field's
// label, and the messages as dialogs that carry their title and text.
#include "ui/frmMain.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <vector>

using corvane::frmMain;

// Shows the texts in a failing expectation.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

const QString kPrompt = "Please Enter the Path of the Corvane Executable Program:";

QAccessibleInterface* Accessible(const QWidget& window, const char* name) {
    auto* widget = window.findChild<QWidget*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget == nullptr ? nullptr : QAccessible::queryAccessibleInterface(widget);
}

QString Name(QAccessibleInterface* control) {
    return control->text(QAccessible::Name);
}

std::vector<QAccessibleInterface*> Related(QAccessibleInterface* control,
                                           QAccessible::Relation relation) {
    std::vector<QAccessibleInterface*> related;
    for (const auto& [other, how] : control->relations(relation)) {
        related.push_back(other);
    }
    return related;
}

TEST(Accessibility, EachControlHasItsRoleAndName) {
    frmMain window([](int) {});
    struct Expected {
        const char* name;
        QAccessible::Role role;
        QString accessibleName;
    };
    const Expected controls[] = {
        {"Label2", QAccessible::StaticText, "Corvane 2000 Dutch Language Patch"},
        {"Label4", QAccessible::StaticText, kPrompt},
        {"txtFilePath", QAccessible::EditableText, kPrompt},
        {"cmdUpdate", QAccessible::Button, "Perform Update"},
        {"lblWait", QAccessible::StaticText, "Please Wait..."},
    };
    for (const Expected& expected : controls) {
        SCOPED_TRACE(expected.name);
        QAccessibleInterface* control = Accessible(window, expected.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->role(), expected.role);
        EXPECT_EQ(Name(control), expected.accessibleName);
    }
    EXPECT_EQ(Accessible(window, "txtFilePath")->text(QAccessible::Value),
              R"(C:\Program Files\Corvane\Corvane.exe)");

    // Whatever the window holds, nothing is left without a name.
    QAccessibleInterface* whole = QAccessible::queryAccessibleInterface(&window);
    EXPECT_EQ(Name(whole), window.windowTitle());
    ASSERT_EQ(whole->childCount(), 5);
    for (int i = 0; i < whole->childCount(); ++i) {
        EXPECT_FALSE(Name(whole->child(i)).isEmpty())
            << whole->child(i)->object()->objectName().toStdString();
    }
}

TEST(Accessibility, ThePromptLabelsThePathField) {
    frmMain window([](int) {});
    QAccessibleInterface* prompt = Accessible(window, "Label4");
    QAccessibleInterface* field = Accessible(window, "txtFilePath");
    ASSERT_NE(prompt, nullptr);
    ASSERT_NE(field, nullptr);

    EXPECT_EQ(window.findChild<QLabel*>("Label4")->buddy(), field->object());
    // Read as: the prompt is the field's label, the field is labelled by the prompt.
    EXPECT_EQ(Related(field, QAccessible::Label), std::vector{prompt});
    EXPECT_EQ(Related(prompt, QAccessible::Labelled), std::vector{field});
    EXPECT_EQ(Name(field), Name(prompt));
}

// Runs `inspect` on the message box once it is open, then dismisses it.
void WithOpenMessageBox(const std::function<void(QMessageBox&)>& inspect) {
    auto* timer = new QTimer;
    timer->setInterval(1);
    QObject::connect(timer, &QTimer::timeout, [timer, inspect] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        timer->stop();
        inspect(*box);
        box->accept();
        timer->deleteLater();
    });
    timer->start();
}

// The names of everything inside `control`, at any depth.
void AddNamesWithin(QAccessibleInterface* control, QStringList& names) {
    for (int i = 0; i < control->childCount(); ++i) {
        names << Name(control->child(i));
        AddNamesWithin(control->child(i), names);
    }
}

TEST(Accessibility, AMessageIsReadAsADialogWithItsText) {
    frmMain window([](int) {});
    window.show();

    std::optional<QAccessible::Role> role;
    QString name;
    QStringList namesWithin;
    WithOpenMessageBox([&](QMessageBox& box) {
        QAccessibleInterface* dialog = QAccessible::queryAccessibleInterface(&box);
        role = dialog->role();
        name = Name(dialog);
        AddNamesWithin(dialog, namesWithin);
    });
    window.ShowMessage("Update is complete!", "Corvane 2000");

    ASSERT_TRUE(role.has_value()) << "no message box was shown";
    EXPECT_TRUE(*role == QAccessible::Dialog || *role == QAccessible::AlertMessage) << *role;
    EXPECT_EQ(name, "Corvane 2000");
    EXPECT_TRUE(namesWithin.contains("Update is complete!"))
        << namesWithin.join(" | ").toStdString();
    EXPECT_TRUE(namesWithin.contains("OK")) << namesWithin.join(" | ").toStdString();
}

} // namespace
