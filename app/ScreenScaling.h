#ifndef KORVEX_SCREENSCALING_H
#define KORVEX_SCREENSCALING_H

#include <QCoreApplication>

// Windows follow the screen's scale factor (150 %, 200 %) and pictures are
// drawn at the screen's resolution. Qt reads these only before the
// application object exists.
inline void enableScreenScaling()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
}

#endif
