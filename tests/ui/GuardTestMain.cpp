#include <QApplication>
#include <gtest/gtest.h>

// The in-process window tests run on Qt's offscreen platform; tests that
// need an X server start one of their own.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
