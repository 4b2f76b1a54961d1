#include "PlCommand.h"

#include "CommandCatalogue.h"
#include "LineSettings.h"
#include "PortLossNotifier.h"
#include "Protocol.h"
#include "ReplyFraming.h"
#include "SPComm.h"
#include "StatusDecoder.h"

#include <QDebug>
#include <QMetaType>
#include <QSerialPort>
#include <QThread>

#include <chrono>
#include <mutex>

namespace {

constexpr int WriteReplyLen = 6;
constexpr int ReadReplyMaxLen = 128;
constexpr std::chrono::milliseconds BusLockWait(10);
// How long a port whose device node is still there must keep failing its
// reads, without a byte, before its device counts as gone.
constexpr int DeviceLossWindowMs = 300;

using W = CommandWord;

// The whole reply a read of this word brings (at most ReadReplyMaxLen).
int replyLength(quint16 word)
{
    const CommandRow *command = CommandCatalogue::find(word);
    return command ? command->replyLength : ReadReplyMaxLen;
}

} // namespace

PlCommand::PlCommand(QObject *parent) : QObject(parent)
{
    // Windows pass these through queued connections.
    qRegisterMetaType<QVector<QString>>("QVector<QString>");
    qRegisterMetaType<QVector<quint32>>("QVector<quint32>");

    codec = new Protocol;
    serialChannel = new SPComm;
    executorThread = new QThread;
    portLossNotifier = new PortLossNotifier(this);
    // The thread object lives on the creating thread; it may only be deleted
    // once its event loop has really ended.
    connect(executorThread, &QThread::finished, executorThread, &QObject::deleteLater);
    moveToThread(executorThread);
    serialChannel->port()->moveToThread(executorThread);
    // A port whose device has vanished reports a read or resource error on
    // every turn of the worker's event loop and would keep it busy for good;
    // but a healthy port reports the same for a read that found nothing.
    connect(serialChannel->port(), &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { onPortError(int(error)); });
    executorThread->start();
}

PlCommand::~PlCommand()
{
    // Closing the port must not queue a look at it any more.
    if (QSerialPort *port = serialChannel->port())
        disconnect(port, nullptr, this, nullptr);
    if (QThread::currentThread() != executorThread) {
        // Deleted directly from another thread: stop the worker first so
        // that nothing runs on it while its objects go away.
        executorThread->quit();
        executorThread->wait();
        serialChannel->closeComm();
        delete serialChannel; // and its port
        delete executorThread;
        delete codec;
        return;
    }
    serialChannel->closeComm();
    // The port lives on this thread; it goes when the thread's pending
    // deletions are run on its way out.
    if (QSerialPort *port = serialChannel->releasePort())
        port->deleteLater();
    delete serialChannel;
    executorThread->quit();
    delete codec;
}

quint8 PlCommand::turnOnSpcomm(QVector<QString> infoQString)
{
    // Name, rate, stop bits and parity are all required; a shorter list is
    // refused without touching the port.
    LineSettings settings;
    if (!LineSettings::fromDialogTexts(infoQString, &settings)) {
        emit turnOnSpcommResult(settings.name, ResultPortClosed);
        return ResultPortClosed;
    }
    return openPort(settings);
}

quint8 PlCommand::openPort(const LineSettings &settings)
{
    if (settings.parity == LineSettings::Parity::Odd)
        qDebug() << "进入奇校验";
    serialChannel->setLineSettings(settings);
    const quint8 result = serialChannel->openComm() ? ResultOk : ResultPortClosed;
    emit turnOnSpcommResult(settings.name, result);
    return result;
}

quint8 PlCommand::turnOffSpcomm()
{
    const QString name = serialChannel->commName();
    serialChannel->closeComm();
    emit turnOffSpcommResult(name, ResultOk);
    return ResultOk;
}

void PlCommand::onPortError(int error)
{
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    // Called from inside the port's own reading, possibly many times in a
    // row: one look, queued behind the running exchange, is enough.
    if (lossCheckQueued)
        return;
    lossCheckQueued = true;
    QMetaObject::invokeMethod(this, &PlCommand::checkDeviceLost, Qt::QueuedConnection);
}

void PlCommand::checkDeviceLost()
{
    // The look itself reads the port and may report errors again; they are
    // part of this look.
    const bool lost = serialChannel->deviceLost(DeviceLossWindowMs);
    lossCheckQueued = false;
    if (!lost)
        return;
    const QString name = serialChannel->commName();
    serialChannel->closeComm();
    emit portLossNotifier->portLost(name);
    emit turnOffSpcommResult(name, ResultOk);
}

void PlCommand::setReplyTimeout(int ms)
{
    replyTimeoutMs = ms;
}

int PlCommand::replyDeadlineMs(int requestBytes, int replyBytes) const
{
    // At 4800 baud a 59-byte status reply alone needs 123 ms on the line.
    return replyTimeoutMs + serialChannel->lineTimeMs(requestBytes + replyBytes);
}

bool PlCommand::isSpcOn()
{
    return serialChannel->isCommOpen();
}

bool PlCommand::collectAndJudge(QByteArray &reply, int knownLength, bool toWrite, int deadlineMs)
{
    const ReplyFraming::Fits fits = [toWrite](const QByteArray &frame) {
        return !toWrite
            || (frame.size() == WriteReplyLen && !StatusDecoder::isReadReplyWord(StatusDecoder::commandWord(frame)));
    };
    QByteArray received;
    serialChannel->collectReply(received, [&](const QByteArray &bytes) {
        return ReplyFraming::atKnownLength(*codec, bytes, knownLength, fits).isValid();
    }, deadlineMs);
    const ReplyFraming::Found found = ReplyFraming::judge(*codec, received, knownLength, fits);
    exchange.received = received;
    exchange.noiseBytes = found.noise(received);
    exchange.taken = found.isValid();
    exchange.elapsedMs = int(exchangeClock.elapsed());
    noiseTotal += quint64(exchange.noiseBytes);
    if (exchangeTrace)
        exchangeTrace(exchange);
    if (!found.isValid()) {
        // Everything that came, for whoever wants to see what went wrong.
        reply.append(received);
        ++errorCount;
        return false;
    }
    reply.append(found.frame(received));
    errorCount = 0;
    return true;
}

void PlCommand::startExchange(const QByteArray &request)
{
    const quint64 before = serialChannel->discardedBytes();
    serialChannel->clearPortBuf();
    // What waited on the line before the request was no reply to anything.
    noiseTotal += serialChannel->discardedBytes() - before;
    exchange = Exchange();
    exchange.request = request;
    exchangeClock.start();
}

quint8 PlCommand::execWriteCmd(quint16 word, const QByteArray &data)
{
    // Stored first: the result always names the frame, even if never sent.
    lastTxFrame = codec->packFrame(word, data);
    quint8 result = ResultDataLost;
    try {
        if (!serialChannel->isCommOpen()) {
            result = ResultPortClosed;
        } else {
            std::unique_lock<QMutex> bus(serialChannel->busMutex, std::defer_lock);
            if (!bus.try_lock_for(BusLockWait)) {
                result = ResultBusBusy;
            } else {
                startExchange(lastTxFrame);
                serialChannel->writeArray(lastTxFrame);
                QByteArray reply;
                if (!collectAndJudge(reply, WriteReplyLen, true, replyDeadlineMs(lastTxFrame.size(), WriteReplyLen)))
                    result = ResultDataLost;
                else
                    result = quint8(reply.at(3)) != 0x00 ? ResultDeviceError : ResultOk;
                emit sendCommErrNums(quint32(errorCount));
            } // the bus is released here on every path, exceptions included
        }
    } catch (...) {
        result = ResultDataLost;
    }
    emit writeCmdResult(result, lastTxFrame);
    return result;
}

quint8 PlCommand::execReadCmd(quint16 word, const QByteArray &data, QByteArray &reply)
{
    if (!serialChannel->isCommOpen())
        return ResultPortClosed;
    quint8 code = ResultDataLost;
    try {
        std::unique_lock<QMutex> bus(serialChannel->busMutex, std::defer_lock);
        if (!bus.try_lock_for(BusLockWait))
            return ResultBusBusy;
        quint8 frame[Protocol::FrameBufferSize];
        const quint16 len = codec->packFrame(word, data, frame);
        if (len == 0) {
            // Too long for the request buffer: nothing goes on the line.
            bus.unlock();
            emit readCmdResult(ResultDataLost, reply);
            return ResultDataLost;
        }
        startExchange(QByteArray(reinterpret_cast<const char *>(frame), len));
        serialChannel->writeBytes(reinterpret_cast<const char *>(frame), len);
        const int known = replyLength(word);
        code = collectAndJudge(reply, known, false, replyDeadlineMs(len, known)) ? ResultOk : ResultDataLost;
        emit sendCommErrNums(quint32(errorCount));
    } catch (...) {
        code = ResultDataLost;
    }
    emit readCmdResult(code, reply);
    return code;
}

quint8 PlCommand::softResetDev()
{
    return writeAsGiven(W::SoftReset, {});
}

quint8 PlCommand::turnOnOffLd(quint8 onOff)
{
    return writeAsGiven(W::LaserSwitch, {onOff});
}

quint8 PlCommand::setPowerPercent(quint16 powerPercent)
{
    return writeAsGiven(W::Power, {powerPercent});
}

quint8 PlCommand::setTempThreshold(qint16 tempTh)
{
    return writeAsGiven(W::TempThreshold, {quint16(tempTh)}); // two's complement pattern
}

quint8 PlCommand::setDevFrameNum(quint32 rxNum, quint32 txNum)
{
    return writeAsGiven(W::FrameCounters, {rxNum, txNum});
}

quint8 PlCommand::setSaveMaxDac(quint16 dacValue)
{
    return writeAsGiven(W::MaxDacSaved, {dacValue});
}

quint8 PlCommand::setNotSaveMaxDac(quint16 dacValue)
{
    return writeAsGiven(W::MaxDacUnsaved, {dacValue});
}

quint8 PlCommand::setCompensationHours(quint32 value)
{
    return writeAsGiven(W::CompensationHours, {value});
}

quint8 PlCommand::setDevSerialNum(QByteArray arrData)
{
    return execWriteCmd(CommandCatalogue::code(W::SerialNumber), arrData);
}

quint8 PlCommand::setPidValue(QVector<quint32> arrData)
{
    // KP, KI, KD; a missing coefficient goes out as 0.
    return writeAsGiven(W::PidCoefficients, {arrData.value(0), arrData.value(1), arrData.value(2)});
}

quint8 PlCommand::turnOnOffTec(quint8 onOff)
{
    return writeAsGiven(W::TecSwitch, {onOff});
}

quint8 PlCommand::setTecPowerDac(quint16 dacVal)
{
    return writeAsGiven(W::TecPowerDac, {dacVal});
}

quint8 PlCommand::switchAutoTec(quint8 onOff)
{
    return writeAsGiven(W::AutoTecSwitch, {onOff});
}

quint8 PlCommand::setFanAutoPwm(QByteArray arrData)
{
    return execWriteCmd(CommandCatalogue::code(W::FanDebug), arrData);
}

quint8 PlCommand::setLdTypeParam(QByteArray arrData)
{
    return execWriteCmd(CommandCatalogue::code(W::LaserType), arrData);
}

quint8 PlCommand::queryPidParam()
{
    QByteArray reply;
    return execReadCmd(CommandCatalogue::code(W::PidQuery), CommandCatalogue::encode(W::PidQuery, {}), reply);
}

quint8 PlCommand::queryAllStatParam()
{
    QByteArray reply;
    return execReadCmd(CommandCatalogue::code(W::AllStatusQuery), CommandCatalogue::encode(W::AllStatusQuery, {}), reply);
}

quint8 PlCommand::writeAsGiven(CommandWord word, const QVector<quint32> &values)
{
    return execWriteCmd(CommandCatalogue::code(word), CommandCatalogue::encode(word, values));
}

quint8 PlCommand::execWrite(CommandWord word, const QVector<quint32> &values)
{
    QByteArray data;
    if (!CommandCatalogue::encodeChecked(word, values, &data)) {
        // The last line of defence: whatever window or script computed these
        // values, the device is not sent what no row allows.
        lastTxFrame = codec->packFrame(CommandCatalogue::code(word), CommandCatalogue::encode(word, values));
        emit writeCmdResult(ResultRefused, lastTxFrame);
        return ResultRefused;
    }
    return execWriteCmd(CommandCatalogue::code(word), data);
}
