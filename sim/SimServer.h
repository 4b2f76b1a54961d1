#ifndef KORVEX_SIMSERVER_H
#define KORVEX_SIMSERVER_H

#include "SimDevice.h"
#include "SimFaults.h"
#include "SimFrameReader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>

class QTimer;
class SimBootLoader;
class SimLine;

// Runs the simulated device on a line: cuts requests out of the received
// bytes, lets the device's time catch up, has the device answer, and sends
// the answer the way the fault plan says.
class SimServer : public QObject
{
    Q_OBJECT
public:
    struct Settings {
        int gapMs = 15;       // silence that ends a variable-length request
        double speed = 1.0;   // simulated seconds per real second
        QString logPath;      // received frames in hex, one per line
        QString faultLogPath; // per request: frame in hex, the reply's fate
        bool verbose = false; // trace on stderr
        int chatterMs = 0;    // one unsolicited byte every so many ms; 0 none
    };

    SimServer(SimLine *line, SimDevice *device, const SimFaults::Settings &faults, const Settings &settings,
              QObject *parent = nullptr);

    // Opens the log file; false with a reason if it cannot be written.
    bool start(QString *error);

    static QString hex(const QByteArray &bytes);

    // With a boot loader, every received byte passes it first; it keeps
    // what belongs to a firmware transfer.
    void setBootLoader(SimBootLoader *loader) { bootLoader = loader; }

private:
    struct Pending {
        qint64 dueMs;
        QByteArray bytes;
        bool endsReply;
    };

    void onReceived(const QByteArray &bytes);
    void processFrames(bool lineQuiet);
    void serve(const QByteArray &frame);
    void catchUpTime();
    void sendDue();
    void trace(const QString &line);

    SimLine *deviceLine;
    SimDevice *simDevice;
    SimFaults faultPlan;
    Settings serverSettings;
    SimFrameReader reader;
    QFile frameLog;
    QFile faultLog;
    QElapsedTimer clock;
    qint64 lastAdvanceMs = 0;
    double simCarryMs = 0;
    QTimer *gapTimer;
    QTimer *sendTimer;
    QTimer *chatterTimer;
    QList<Pending> outbox;
    qint64 lastDueMs = 0;
    SimBootLoader *bootLoader = nullptr;
};

#endif
