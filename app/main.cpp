#include "AdminWd.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    AdminWd window;
    window.show();
    return app.exec();
}
