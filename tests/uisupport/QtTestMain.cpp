// main() of the window tests: one QApplication on the offscreen platform, so the tests
// need no display, then every GoogleTest case.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvane");
    return RUN_ALL_TESTS();
}
