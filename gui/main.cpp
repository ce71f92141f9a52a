// The desktop program's start-up.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName("Vendra");
    QApplication::setApplicationName("TolvarTestSuite");
    QMainWindow window;
    window.show();
    return QApplication::exec();
}
