#include "DemoCapture.h"

#include "AdminWd.h"
#include "DemoWindows.h"
#include "ExitCode.h"
#include "ProductionTestWd.h"
#include "TrendWd.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMainWindow>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace DemoCapture {

using DemoWindows::WindowGap;

namespace {

// One picture of a window with a plain title bar above it, so that the
// reader sees which window is which.
QPixmap withTitleBar(QWidget *w)
{
    const QPixmap body = w->grab();
    const int barHeight = 26;
    QPixmap framed(body.width(), body.height() + barHeight);
    framed.fill(QColor(0xdd, 0xdd, 0xdd));
    QPainter p(&framed);
    p.fillRect(0, 0, framed.width(), barHeight, QColor(0x3c, 0x5a, 0x82));
    p.setPen(Qt::white);
    p.drawText(QRect(8, 0, framed.width() - 16, barHeight), Qt::AlignVCenter | Qt::AlignLeft, w->windowTitle());
    p.drawPixmap(0, barHeight, body);
    return framed;
}

// The main window and the PID window side by side on a neutral background.
QPixmap sideBySide(QWidget *left, QWidget *right)
{
    const QPixmap a = withTitleBar(left);
    const QPixmap b = withTitleBar(right);
    QPixmap both(a.width() + WindowGap + b.width(), std::max(a.height(), b.height()));
    both.fill(QColor(0x9a, 0xa4, 0xae));
    QPainter p(&both);
    p.drawPixmap(0, 0, a);
    p.drawPixmap(a.width() + WindowGap, 0, b);
    return both;
}

} // namespace

void whenSettled(const DemoScene &scene, std::function<int()> take)
{
    // Live data: the firmware version field is filled by the first status
    // reply; a few more polls settle every field and lamp.
    auto *version = scene.window->findChild<QLineEdit *>(QStringLiteral("SoftVersion"));
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    auto dataSince = std::make_shared<qint64>(-1);
    auto *poll = new QTimer(scene.window);
    QObject::connect(poll, &QTimer::timeout, [scene, take, version, waited, dataSince, poll] {
        if (*dataSince < 0 && !version->text().isEmpty()) {
            *dataSince = waited->elapsed();
            if (scene.factory || scene.trend || scene.sendCommands)
                DemoWindows::driveTecByHand(scene.window);
            if (scene.sendCommands) {
                scene.window->findChild<QPushButton *>(QStringLiteral("btnTurnOnLd"))->click();
                scene.window->findChild<QSlider *>(QStringLiteral("horizontalSlider_PowerSet"))->setValue(600);
            }
        }
        bool settled = *dataSince >= 0 && waited->elapsed() - *dataSince >= 1500 && waited->elapsed() >= 3000;
        // The PID window gets a line each second; a handful shows the
        // temperature falling under the manual TEC drive.
        if (scene.factory)
            settled = settled && DemoWindows::sampleCount(scene.pidLines) >= 8;
        // The laser temperature curve bends visibly under the manual drive,
        // and enough polls for a fan alarm span.
        if (scene.trend)
            settled = settled && scene.trend->samples().size() >= 40
                && DemoWindows::laserTempSwing(scene.trend->samples()) >= 3.0;
        if (scene.trendSamples > 0)
            settled = settled && scene.window->trendWindow()->samples().size() >= scene.trendSamples;
        const bool gaveUp = waited->elapsed() > (scene.trend || scene.trendSamples ? 60000 : 30000);
        if (!settled && !gaveUp)
            return;
        poll->stop();
        int exitCode = take();
        if (gaveUp) {
            std::fprintf(stderr, "korvex-demo: no live data (or no trend) in time\n");
            exitCode = ExitCode::DemoFailed;
        }
        QCoreApplication::exit(exitCode);
    });
    poll->start(100);
}

int savePicture(const DemoScene &scene, const QString &file)
{
    if (scene.productionTest && !DemoWindows::runProductionTestToHold(scene.productionTest)) {
        std::fprintf(stderr, "korvex-demo: the production test did not reach its hold step\n");
        return ExitCode::DemoFailed;
    }
    if (scene.trend)
        DemoWindows::pointAtBend(scene.trend);
    const QPixmap picture = scene.productionTest ? withTitleBar(scene.productionTest)
                            : scene.trend ? sideBySide(scene.window, scene.trend)
                            : scene.factory ? sideBySide(scene.window, scene.pid) : scene.window->grab();
    if (!picture.save(file, "PNG")) {
        std::fprintf(stderr, "korvex-demo: cannot write %s\n", qPrintable(file));
        return ExitCode::DemoFailed;
    }
    std::printf("korvex-demo: saved %s\n", qPrintable(file));
    if (scene.factory)
        std::printf("korvex-demo: the PID window shows %d status lines\n", DemoWindows::sampleCount(scene.pidLines));
    if (scene.trend)
        std::printf("korvex-demo: the trend window holds %d samples, the laser temperature moved %.1f C\n",
                    scene.trend->samples().size(), DemoWindows::laserTempSwing(scene.trend->samples()));
    return ExitCode::Done;
}

int writeServiceReport(const DemoScene &scene, const QString &file)
{
    ServiceReport::Typed typed;
    typed.technician = QStringLiteral("Demo");
    typed.notes = QStringLiteral("Written by korvex-demo against the simulated laser.");
    QString error;
    if (!scene.window->exportServiceReport(file, typed, &error)) {
        std::fprintf(stderr, "korvex-demo: cannot write %s: %s\n", qPrintable(file), qPrintable(error));
        return ExitCode::DemoFailed;
    }
    std::printf("korvex-demo: saved %s\n", qPrintable(file));
    return ExitCode::Done;
}

} // namespace DemoCapture
