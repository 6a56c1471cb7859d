// Entry point shared by the GUI test programs: one QApplication for the whole
// run, on the offscreen platform unless the caller chose another.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/programstyle.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    kb::UseProgramStyle();  // the program's own look, as it starts with
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
