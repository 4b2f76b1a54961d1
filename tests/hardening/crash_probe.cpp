// Not a test by itself: a Qt Test program that starts the simulator the way
// tests do and then ends badly, for checking what such a test leaves behind.
//   crash_probe crashWithSimulatorRunning   segfaults (run by crash_report.sh:
//                                           a backtrace in the log, no hang)
//   crash_probe waitWithSimulatorRunning    waits to be killed (tst_orphans
//                                           sends SIGKILL)
// Either way the simulator must not outlive it.

#include "SimProcess.h"

#include <QtTest>

#include <cstdio>
#include <sys/mman.h>

class CrashProbe : public QObject
{
    Q_OBJECT
private slots:
    void crashWithSimulatorRunning();
    void waitWithSimulatorRunning();

private:
    // A frame with a name the backtrace must show.
    Q_NEVER_INLINE void crashInsideTest(int *volatile target);
};

void CrashProbe::crashInsideTest(int *volatile target)
{
    *target = 42;
}

void CrashProbe::crashWithSimulatorRunning()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    std::printf("simulator pid %lld on %s\n", sim.process().processId(), qPrintable(sim.ptyPath()));
    std::fflush(stdout);
    // A store to a page that may not be touched: a real segmentation fault,
    // which the sanitizers do not turn into a report of their own first.
    void *page = ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    QVERIFY(page != MAP_FAILED);
    crashInsideTest(static_cast<int *>(page));
}

void CrashProbe::waitWithSimulatorRunning()
{
    SimProcess sim;
    QVERIFY2(sim.isRunning(), qPrintable(sim.errorText()));
    std::printf("simulator pid %lld on %s\n", sim.process().processId(), qPrintable(sim.ptyPath()));
    std::fflush(stdout);
    QThread::sleep(60);
}

QTEST_GUILESS_MAIN(CrashProbe)
#include "crash_probe.moc"
