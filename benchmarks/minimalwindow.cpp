// The yardstick of the console's start-up: the smallest Qt Widgets program showing a window of
// the console's size at the console's place.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QWidget window;
    window.setFixedSize(895, 245);
    window.move(300, 300);
    window.show();
    return application.exec();
}
