// The window on a screen that scales by 2 (ctest runs this with
// QT_SCALE_FACTOR=2): it keeps its designed size in inches, its text is drawn
// at the finer scale, and no text is cut off.
#include "ui/frmMain.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <gtest/gtest.h>

using corvane::frmMain;

namespace {

constexpr qreal kScale = 2.0;

class HighDpi : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(qApp->devicePixelRatio(), kScale) << "needs QT_SCALE_FACTOR=2";
        window.findChild<QLabel*>("lblWait")->show();
        window.show();
    }

    template <class Control> Control* Find(const char* name) {
        auto* control = window.findChild<Control*>(name);
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    // Where a control lies in the window, in device-independent pixels.
    QRect PlaceOf(const QWidget& control) const {
        return {control.mapTo(&window, QPoint(0, 0)), control.size()};
    }

    frmMain window{[](int) {}};
};

TEST_F(HighDpi, TheClientAreaIsTwiceItsDesignedPixels) {
    const QPixmap picture = window.grab();
    EXPECT_EQ(picture.size(), QSize(894, 364));
    EXPECT_EQ(picture.devicePixelRatio(), kScale);
    EXPECT_EQ(window.size(), QSize(447, 182));
}

// The drawn text of a label: the smallest rectangle, in physical pixels, of
// the pixels that differ from the window's background inside the label.
QRect InkOf(const QImage& picture, const QRect& physicalPlace, QRgb background) {
    QRect ink;
    const QRect inside = physicalPlace.intersected(picture.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (picture.pixel(x, y) != background) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    return ink;
}

TEST_F(HighDpi, LabelTextIsDrawnAtTwiceItsSizeAndFitsItsLabel) {
    const QImage picture = window.grab().toImage();
    const QRgb background = window.palette().color(QPalette::Window).rgb();
    for (const char* name : {"Label2", "Label4", "lblWait"}) {
        SCOPED_TRACE(name);
        const QLabel* label = Find<QLabel>(name);
        ASSERT_NE(label, nullptr);
        const QFontMetrics metrics(label->font());
        const QRect place = PlaceOf(*label);

        // Fonts scale with the screen: the ink spans twice the text's size
        // in device-independent pixels, give or take a pixel of smoothing.
        const QRect text = metrics.tightBoundingRect(label->text());
        const QRect ink =
            InkOf(picture, QRect(place.topLeft() * kScale, place.size() * kScale), background);
        ASSERT_FALSE(ink.isEmpty());
        EXPECT_NEAR(ink.width(), text.width() * kScale, 2 * kScale);
        EXPECT_NEAR(ink.height(), text.height() * kScale, 2 * kScale);

        // Nothing is cut off: the text's whole line fits in the part of the
        // label that lies inside the window.
        const QRect visible = place.intersected(window.rect());
        EXPECT_LE(metrics.horizontalAdvance(label->text()), visible.width());
        EXPECT_LE(metrics.height(), visible.height());
    }
}

TEST_F(HighDpi, ThePathAndTheButtonTextFit) {
    const QLineEdit* field = Find<QLineEdit>("txtFilePath");
    ASSERT_NE(field, nullptr);
    const QFontMetrics fieldMetrics(field->font());
    EXPECT_LT(fieldMetrics.horizontalAdvance(field->text()), field->width());
    EXPECT_LE(fieldMetrics.height(), field->height());

    QPushButton* button = Find<QPushButton>("cmdUpdate");
    ASSERT_NE(button, nullptr);
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QRect contents =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const QRect text = QFontMetrics(button->font()).boundingRect(button->text());
    EXPECT_LE(text.width(), contents.width());
    EXPECT_LE(text.height(), contents.height());
}

} // namespace
