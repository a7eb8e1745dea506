// Runs the widget tests off-screen inside one QApplication, with the Qt main
// loop installed as the UI schedulers' loop.

#include "Orvella/UI/Presentation/QtMainLoop.hpp"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    auto loop = Orvella::QtMainLoop::install();
    const int result = RUN_ALL_TESTS();
    Reactive::MainLoop::setMain(nullptr);
    return result;
}
