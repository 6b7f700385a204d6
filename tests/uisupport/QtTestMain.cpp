// main() of the window tests: one QApplication on the offscreen platform, so the tests
// need no display, then every GoogleTest case.
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a session (CI), Qt wants a private runtime folder of its own.
    std::string runtime;
    if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
        char folder[] = "/tmp/corvane-test-runtime-XXXXXX";
        if (mkdtemp(folder)) {
            runtime = folder;
            setenv("XDG_RUNTIME_DIR", folder, 1);
        }
    }
    ::testing::InitGoogleTest(&argc, argv);
    int status = 0;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName("Corvane");
        status = RUN_ALL_TESTS();
    }
    if (!runtime.empty()) rmdir(runtime.c_str());
    return status;
}
