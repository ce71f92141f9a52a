// Widget tests run GoogleTest inside a QApplication on the offscreen
// platform, so no display server is needed; QTest drives the widgets as a
// user would.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setOrganizationName("Vendra");
    QApplication::setApplicationName("TolvarTestSuiteTests");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
