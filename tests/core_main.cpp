// Entry point of the test programs of the layers without widgets: one
// QCoreApplication for the whole run, so timers and queued signals work.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
