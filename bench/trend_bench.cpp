// Cost of the trend window: adding one sample and redrawing the three charts
// with 10 minutes and with 24 hours of samples, and the memory of 24 hours.
//
//   QT_QPA_PLATFORM=offscreen build/bench/korvex-trend-bench

#include "TrendWd.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>

#include <cmath>
#include <cstdio>

namespace {

// Resident memory of this process in KiB (Linux).
long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

TrendSample sampleAt(qint64 ms, int i)
{
    TrendSample s;
    s.msecs = ms;
    s.valid = (i % 97) != 0; // about 1 % lost replies
    s.alarms = (i / 300) % 5 == 0 ? TrendFanAlarmMask : 0;
    for (int c = 0; c < TrendChannelCount; ++c)
        s.values[c] = float(20 + 5 * std::sin(i / 200.0 + c) + (i % 13) * 0.01);
    return s;
}

// Mean milliseconds of addSample (with its redraw) over count samples.
double addAndRedraw(TrendWd &w, qint64 *t, int *i, int count)
{
    QElapsedTimer timer;
    timer.start();
    for (int k = 0; k < count; ++k) {
        w.addSample(sampleAt(*t, *i));
        *t += 500;
        ++*i;
        QCoreApplication::processEvents(); // lets the charts paint
    }
    return double(timer.nsecsElapsed()) / 1e6 / count;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const long rssStart = residentKiB();
    TrendWd w;
    w.resize(1000, 800);
    w.show();
    auto *span = w.findChild<QComboBox *>(QStringLiteral("comboBoxSpan"));
    const long rssWindow = residentKiB();

    qint64 t = 1796000000000;
    int i = 0;
    // 10 minutes of samples, shown with the 10-minute span.
    span->setCurrentIndex(1);
    w.hide();
    for (; i < 1200; ++i, t += 500)
        w.addSample(sampleAt(t, i));
    w.show();
    const double tenMinutes = addAndRedraw(w, &t, &i, 100);
    QElapsedTimer tenFull;
    tenFull.start();
    for (int k = 0; k < 10; ++k) {
        w.redraw();
        QCoreApplication::processEvents();
    }
    const double tenMinuteRedraw = double(tenFull.nsecsElapsed()) / 1e6 / 10;

    // 24 hours of samples (the store is full from here on).
    w.hide();
    for (; i < TrendStore::DefaultCapacity + 100; ++i, t += 500)
        w.addSample(sampleAt(t, i));
    const long rssFull = residentKiB();
    w.show();
    const double fullTenMinuteView = addAndRedraw(w, &t, &i, 100);
    span->setCurrentIndex(3); // 全部
    const double fullAllView = addAndRedraw(w, &t, &i, 400);
    QElapsedTimer full;
    full.start();
    for (int k = 0; k < 10; ++k) {
        w.redraw();
        QCoreApplication::processEvents();
    }
    const double fullRedraw = double(full.nsecsElapsed()) / 1e6 / 10;

    QElapsedTimer only;
    only.start();
    for (int k = 0; k < 20; ++k)
        w.redraw();
    const double redrawOnly = double(only.nsecsElapsed()) / 1e6 / 20;
    only.restart();
    for (int k = 0; k < 20; ++k)
        w.grab();
    const double paintOnly = double(only.nsecsElapsed()) / 1e6 / 20;
    only.restart();
    for (int k = 0; k < 20; ++k) {
        for (int c = 0; c < TrendChannelCount; ++c)
            TrendReduce::segments(w.samples(), c, w.viewFrom(), w.viewTo(), 850);
    }
    const double reduceOnly = double(only.nsecsElapsed()) / 1e6 / 20;
    std::printf("reduction of the 10 channels alone, 24 h view: %.2f ms\n", reduceOnly);
    std::printf("of which, 24 h view: series update %.2f ms, painting the window %.2f ms\n", redrawOnly, paintOnly);
    std::printf("trend window, 1000 x 800, 10 channels in 3 charts\n");
    std::printf("one full redraw + paint, 10 min kept, 10-min view : %.2f ms\n", tenMinuteRedraw);
    std::printf("add one sample + redraw, 10 min kept, 10-min view : %.2f ms (amortized)\n", tenMinutes);
    std::printf("add one sample + redraw, 24 h kept, 10-min view   : %.2f ms (amortized)\n", fullTenMinuteView);
    std::printf("add one sample, 24 h kept, whole 24 h, amortized   : %.2f ms (redrawn once the view moves a column, at least every 5 s)\n", fullAllView);
    std::printf("one full redraw + paint, 24 h kept, whole 24 h    : %.2f ms\n", fullRedraw);
    std::printf("samples kept: %d of %d bytes each = %.1f MiB\n", w.samples().size(), int(sizeof(TrendSample)),
                double(w.samples().capacity()) * sizeof(TrendSample) / (1024.0 * 1024.0));
    std::printf("resident memory: %ld KiB at start, %ld KiB with the window, %ld KiB with 24 h kept\n", rssStart,
                rssWindow, rssFull);
    return 0;
}
