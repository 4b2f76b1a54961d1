#ifndef KORVEX_LAMPPIXMAP_H
#define KORVEX_LAMPPIXMAP_H

#include <QPixmap>

// A status lamp: green with a tick, red with a cross, so that the two differ
// for a technician who cannot tell red from green; washed out while the state
// is not live. Drawn for the screen's pixel ratio, so sharp at 2x.
QPixmap lampPixmap(bool green, bool live, qreal pixelRatio);

#endif
