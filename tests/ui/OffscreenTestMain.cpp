#include <QApplication>
#include <gtest/gtest.h>

// Window tests drawn in memory on Qt's offscreen platform; the scale factor
// and anything else of the platform come from the environment ctest sets.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
