#include "mainwindow.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Startup::quietDebugOutputUnlessAsked();
    Startup::applyStyleSheet(app);
    MainWindow window;
    window.show();
    return app.exec();
}
