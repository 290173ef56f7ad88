// The least a Qt widgets program does to show a window: the yardstick the
// window's launch is measured against (bench/launch-timing.sh).

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setCentralWidget(new QLabel(QStringLiteral("A bare window")));
    window.resize(900, 640);
    window.show();
    return QApplication::exec();
}
