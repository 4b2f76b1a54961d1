#ifndef KORVEX_TESTCOMMAND_H
#define KORVEX_TESTCOMMAND_H

#include "Measurement.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdio>

class Station;

// What `korvexctl test` shows while a rack is tested: on a terminal a table
// (port, serial, step, elapsed, outcome so far) redrawn in place, otherwise
// one line per event; and the summary at the end.
class TestProgress
{
public:
    TestProgress(Station &station, FILE *stream, bool terminal);

    void redraw();
    // The closing table, one row per unit.
    static QString summary(const Station &station);

private:
    struct Row {
        QString serial;
        QString step;
        Outcome outcome = Outcome::Pass;
        bool done = false;
        qint64 doneMs = 0; // the elapsed time stops at the unit's end
    };
    void event(int unit, const QString &text);

    Station &station;
    FILE *out;
    bool isTerminal;
    QVector<Row> rows;
    QElapsedTimer clock;
    int drawnLines = 0;
};

#endif
