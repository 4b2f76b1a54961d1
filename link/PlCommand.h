#ifndef KORVEX_PLCOMMAND_H
#define KORVEX_PLCOMMAND_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>

enum class CommandWord : quint16;
struct LineSettings;
class PortLossNotifier;
class Protocol;
class QThread;
class SPComm;

// The command executor: lives on a worker thread of its own and runs every
// device command as one exclusive request/reply exchange, answering each with
// a result code (0 success, 1 port not open, 2 bus busy, 4 device refused,
// 255 bus data lost). Windows reach it only through queued signals.
//
// Delete it with deleteLater(): the destructor then runs on the worker
// thread, closes the port and stops the thread; the thread object deletes
// itself once it has finished.
class PlCommand : public QObject
{
    Q_OBJECT
public:
    explicit PlCommand(QObject *parent = nullptr);
    ~PlCommand() override;

    // The channel and the worker thread, for code that must wait on them
    // (shutdown, tests). Only the worker thread may use the channel's port.
    SPComm *channel() const { return serialChannel; }
    QThread *workerThread() const { return executorThread; }
    // Says when the executor has closed the port because its device had gone;
    // that close is reported by turnOffSpcommResult too, right after.
    PortLossNotifier *lossNotifier() const { return portLossNotifier; }

    // How long the device may take to answer (default 100 ms); every reply
    // deadline adds the time the request and the reply's own bytes need on
    // the line at its rate. Call before the first command, or on the worker.
    void setReplyTimeout(int ms);
    static constexpr int DefaultReplyTimeoutMs = 100;

    // Opens the device port with these settings and answers with
    // turnOnSpcommResult, as turnOnSpcomm does. Worker thread only.
    quint8 openPort(const LineSettings &settings);

    // A write whose data the command catalogue builds from these values: the
    // way to a command that has no slot of its own, and the way every write
    // other than the specified slots takes. Values the catalogue's row does
    // not allow (CommandCatalogue::check), and a word not in it, are refused
    // with ResultRefused and nothing goes on the line; writeCmdResult still
    // names the frame that would have gone. Worker thread only.
    quint8 execWrite(CommandWord word, const QVector<quint32> &values);

    // The last exchange that reached the line: the request, every byte that
    // came back, and how many of them were no part of the reply taken.
    struct Exchange
    {
        QByteArray request;
        QByteArray received;
        int noiseBytes = 0;
        bool taken = false; // a reply was found in what came
        int elapsedMs = 0;  // from the request to the judgement
    };
    // Worker thread, or after a blocking call into it has returned.
    Exchange lastExchange() const { return exchange; }
    // Stray bytes so far: beside good replies, and waiting on the line before
    // a request. Never a failure; a sign of a noisy line. Worker thread, or
    // after a blocking call into it has returned.
    quint64 lineNoiseBytes() const { return noiseTotal; }
    // Called on the worker thread with every exchange once its reply has
    // been judged (korvexctl -v prints them). Set before the first command.
    void setExchangeTrace(std::function<void(const Exchange &)> trace) { exchangeTrace = std::move(trace); }

signals:
    void turnOnSpcommResult(QString name, quint8 result);
    void turnOffSpcommResult(QString name, quint8 result);
    void writeCmdResult(quint8 result, QByteArray srcTxData);
    void readCmdResult(quint8 result, QByteArray readSrcData);
    void sendCommErrNums(quint32 errNums);

public slots:
    quint8 turnOnSpcomm(QVector<QString> infoQString);
    quint8 turnOffSpcomm();
    bool isSpcOn();
    quint8 softResetDev();
    quint8 turnOnOffLd(quint8 onOff);
    quint8 setPowerPercent(quint16 powerPercent);
    quint8 setTempThreshold(qint16 tempTh);
    quint8 setDevFrameNum(quint32 rxNum, quint32 txNum);
    quint8 setSaveMaxDac(quint16 dacValue);
    quint8 setNotSaveMaxDac(quint16 dacValue);
    quint8 setCompensationHours(quint32 value);
    quint8 setDevSerialNum(QByteArray arrData);
    quint8 setPidValue(QVector<quint32> arrData);
    quint8 turnOnOffTec(quint8 onOff);
    quint8 setTecPowerDac(quint16 dacVal);
    quint8 switchAutoTec(quint8 onOff);
    quint8 setFanAutoPwm(QByteArray arrData);
    quint8 setLdTypeParam(QByteArray arrData);
    quint8 queryPidParam();
    quint8 queryAllStatParam();

private:
    // The port reported a read error: once the running exchange is over, look
    // whether its device has really gone, and if so close it and say so.
    void onPortError(int error);
    void checkDeviceLost();

    quint8 execWriteCmd(quint16 word, const QByteArray &data);
    // The specified slots: their arguments as bytes in the row's layout and
    // nothing more (the windows keep their controls in the rows' ranges).
    quint8 writeAsGiven(CommandWord word, const QVector<quint32> &values);
    quint8 execReadCmd(quint16 word, const QByteArray &data, QByteArray &reply);
    // Clears the line for a request and starts the record of its exchange.
    void startExchange(const QByteArray &request);
    // Collects the reply of a request until its known length has arrived and
    // passes (or, failing that, until the line is quiet), judges it and keeps
    // the count of consecutive failed exchanges. A write is answered with
    // exactly 6 bytes; a late read reply is not its answer. reply gets the
    // frame taken, or on failure everything that came.
    bool collectAndJudge(QByteArray &reply, int knownLength, bool toWrite, int deadlineMs);
    int replyDeadlineMs(int requestBytes, int replyBytes) const;

    Protocol *codec = nullptr;
    SPComm *serialChannel = nullptr;
    QThread *executorThread = nullptr;
    PortLossNotifier *portLossNotifier = nullptr; // child, on the worker thread
    QByteArray lastTxFrame;
    quint64 errorCount = 0;
    quint64 noiseTotal = 0;
    Exchange exchange;
    QElapsedTimer exchangeClock;
    std::function<void(const Exchange &)> exchangeTrace;
    int replyTimeoutMs = DefaultReplyTimeoutMs;
    bool lossCheckQueued = false;
};

#endif
