#include <QCoreApplication>
#include <QStandardPaths>
#include <gtest/gtest.h>

// GoogleTest with a Qt application object, so that tests can run the event loop, use
// QSignalSpy and look up standard paths. Test mode keeps every test away from the user's files.
int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
