#ifndef KORVEX_SCREENSCALING_H
#define KORVEX_SCREENSCALING_H

#include <QGuiApplication>

// Windows follow the screen's scale factor (150 %, 200 %) and pictures are
// drawn at the screen's resolution. A desktop at 150 % (144 dpi) is scaled
// by 1.5 as set, not rounded up to 2: rounded, a full-HD screen would be
// 960×540 units and the main window would not fit on it. Qt reads these
// only before the application object exists.
inline void enableScreenScaling()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

#endif
