// Shared entry of the test executables: a QApplication when a display is available (the
// integration tests need one), a QCoreApplication otherwise.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <memory>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) {
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    return RUN_ALL_TESTS();
}
