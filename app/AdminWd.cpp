#include "AdminWd.h"
#include "ui_AdminWd.h"

#include "CommSet.h"
#include "CommandCatalogue.h"
#include "DialogPasswordWd.h"
#include "EventLog.h"
#include "EventWd.h"
#include "LampPixmap.h"
#include "Language.h"
#include "LogPane.h"
#include "PidAdjust.h"
#include "PlCommand.h"
#include "PortLossNotifier.h"
#include "PortReconnect.h"
#include "ServiceReportDialog.h"
#include "StatusDecoder.h"
#include "StatusFormat.h"
#include "TecDebug.h"
#include "TrendWd.h"
#include "UpdateWidget.h"
#include "WindowSettings.h"
#include "WriteResult.h"
#include "fan_debug.h"
#include "serialNumInput.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaType>
#include <QPixmap>
#include <QSignalBlocker>
#include <QTimer>

// The library is static: its embedded pictures must be registered by hand.
static void initKorvexResources()
{
    Q_INIT_RESOURCE(korvex);
}

// Values not live: grey text (the values stay readable and selectable).
static const QString kFadedFieldStyle = QStringLiteral("color: #a0a0a0;");

// The password that unlocks factory mode, compared whole and case-sensitively.
static const char kFactoryPassword[] = "velmandro583";

int AdminWd::pidPollPhase = 0;

// The setting controls offer what the device may be sent, as every other
// path checks it. The DAC spin box keeps its own floor of 400 (DAC- may
// still send the step below it).
static void applyCommandRanges(Ui::AdminWd *ui)
{
    const CommandRow &power = CommandCatalogue::row(CommandWord::Power);
    ui->horizontalSlider_PowerSet->setRange(int(power.min), int(power.max));
    ui->spinBox_PowerVal->setRange(int(power.min), int(power.max));
    const CommandRow &threshold = CommandCatalogue::row(CommandWord::TempThreshold);
    ui->doubleSpinBoxLdTempThValue->setRange(CommandCatalogue::typedValue(threshold.word, threshold.min),
                                             CommandCatalogue::typedValue(threshold.word, threshold.max));
    ui->spinBoxMaxDac->setMaximum(int(CommandCatalogue::row(CommandWord::MaxDacSaved).max));
}

AdminWd::AdminWd(QWidget *parent)
    : QMainWindow(parent),
      ui(new Ui::AdminWd),
      userMode(1),
      commSetWd(nullptr),
      pidAdjustWd(nullptr),
      serialNumInputWd(nullptr),
      tecDebugWd(nullptr),
      fanDebugWd(nullptr),
      updateWd(nullptr),
      passwordWd(nullptr),
      pollTimer(nullptr),
      plCommand(nullptr),
      commErrLimit(10),
      devPortOpen(false)
{
    initKorvexResources();
    ui->setupUi(this);
    applyCommandRanges(ui);
    Language::addMenu(ui->menuBar, Language::current());
    logPane = new LogPane(ui->textEditDebugInfo, this);
    ui->menu_2->addSeparator();
    ui->menu_2->addAction(logPane->saveAction());
    ui->menu_2->addAction(logPane->clearAction());
    QAction *eventsAction = ui->menu_2->addAction(tr("事件记录"), this, &AdminWd::openEventWd);
    eventsAction->setObjectName(QStringLiteral("actionEvents"));
    QAction *reportAction = ui->menu_2->addAction(tr("导出服务报告…"), this, &AdminWd::openServiceReportWd);
    reportAction->setObjectName(QStringLiteral("actionServiceReport"));
    // Enter in the power box sends; the wheel moves none of the setting
    // boxes, so that scrolling over the window changes no value unseen.
    for (QWidget *box : {static_cast<QWidget *>(ui->spinBox_PowerVal), static_cast<QWidget *>(ui->spinBoxMaxDac),
                         static_cast<QWidget *>(ui->doubleSpinBoxLdTempThValue),
                         static_cast<QWidget *>(ui->spinBoxAutoCompensation)})
        box->installEventFilter(this);
    // The form's font comes from its style sheet, applied when polished;
    // the sizes follow it whenever it changes.
    ensurePolished();
    fitLongValueFields();
    ui->ComNameShow->installEventFilter(this);

    plCommand = new PlCommand;
    pollTimer = new QTimer(this);

    // Tool windows, created once and only shown and hidden afterwards. The
    // factory and update windows take their places in this sequence:
    // CommSet, PID, serial number, TEC, fan, update, password.
    commSetWd = new CommSet(this);
    pidAdjustWd = new PidAdjust(this);
    serialNumInputWd = new serialNumInput(this);
    tecDebugWd = new TecDebug(this);
    fanDebugWd = new fan_debug(this);
    updateWd = new UpdateWidget(this);
    passwordWd = new DialogPasswordWd(this);
    trendWd = new TrendWd(this);
    events = new EventLog(this);
    eventWd = new EventWd(events, this);
    reportDialog = new ServiceReportDialog(this);
    updateWd->hide();
    // Start in user mode: the factory controls stay hidden until the password.
    applyUserMode();

    // Queued calls to the executor's thread carry these two vector types.
    qRegisterMetaType<QVector<QString>>("QVector<QString>");
    qRegisterMetaType<QVector<quint32>>("QVector<quint32>");

    connect(ui->actionSerialSet, &QAction::triggered, this, &AdminWd::openSerialSetWd);
    connect(ui->actionPidDebug, &QAction::triggered, this, &AdminWd::openPidAdjust);
    connect(ui->actiontecDebug, &QAction::triggered, this, &AdminWd::openTecDebugWd);
    connect(ui->actionfanDebug, &QAction::triggered, this, &AdminWd::openFanDebugWd);
    connect(ui->actionupdateDev, &QAction::triggered, this, &AdminWd::openUpdateWd);
    connect(ui->actionFactoryMode, &QAction::triggered, this, &AdminWd::openFactoryPasswordWd);
    connect(passwordWd, &DialogPasswordWd::sendPasswordStr, this, &AdminWd::changeUserMode);
    connectEvents();
    connectLogPort();
    connect(plCommand, &PlCommand::writeCmdResult, this, &AdminWd::updateGeneralWriteSlots);
    connect(plCommand, &PlCommand::readCmdResult, this, &AdminWd::updateGeneralReadSlots);
    connect(plCommand, &PlCommand::sendCommErrNums, this, &AdminWd::updateCommStat);
    // The factory windows talk to the executor directly; only the PID reply
    // is relayed through this window.
    connect(pidAdjustWd, &PidAdjust::setPidSignal, plCommand, &PlCommand::setPidValue);
    connect(this, &AdminWd::updatePidWd, pidAdjustWd, &PidAdjust::updateShowText);
    connect(serialNumInputWd, &serialNumInput::sendSerialNum, this, &AdminWd::updateDevSerialNumValue);
    connect(tecDebugWd, &TecDebug::turnOnOff, plCommand, &PlCommand::turnOnOffTec);
    connect(tecDebugWd, &TecDebug::setTecPowerDac, plCommand, &PlCommand::setTecPowerDac);
    connect(tecDebugWd, &TecDebug::switchAutoTec, plCommand, &PlCommand::switchAutoTec);
    connect(fanDebugWd, &fan_debug::setFanAutoPwm, plCommand, &PlCommand::setFanAutoPwm);
    connectPortSignals();
    connectCommandSignals();
    connect(ui->actionTrend, &QAction::triggered, this, &AdminWd::openTrendWd);
    connect(ui->actionAbout, &QAction::triggered, this, &AdminWd::openAboutWd);
    connect(this, &AdminWd::statusSampled, trendWd, &TrendWd::addStatus);
    connect(this, &AdminWd::statusLost, trendWd, &TrendWd::addLost);
    connect(this, &AdminWd::devicePortChanged, trendWd, &TrendWd::portChanged);

    reconnect = new PortReconnect(this);
    connect(reconnect, &PortReconnect::reopen, plCommand, &PlCommand::turnOnSpcomm);
    connect(commSetWd, &CommSet::sendCommInfo, this, &AdminWd::notePortChosen);
    ui->actionAutoReconnect->setChecked(WindowSettings::autoReconnect());
    connect(ui->actionAutoReconnect, &QAction::toggled, this, &AdminWd::setAutoReconnect);

    // No port is open yet: the link lamp is red and nothing shown is live.
    setStatusLive(false);

    // Styles draw the focus frame only once keys have moved the focus; a
    // click or the program moving it hides it again. Every window of the
    // program keeps it shown, so the technician sees where a key will go.
    connect(qApp, &QApplication::focusChanged, this, [](QWidget *, QWidget *now) {
        if (now)
            now->window()->setAttribute(Qt::WA_KeyboardFocusChange);
    });

    connect(pollTimer, &QTimer::timeout, this, &AdminWd::queryDevInfo);
    pollTimer->start(500);

    // The operator's first act is choosing and opening the device port.
    commSetWd->show();
}

AdminWd::~AdminWd()
{
    // The executor lives on its worker thread: it must be deleted there.
    pollTimer->deleteLater();
    updateWd->deleteLater();
    commSetWd->deleteLater();
    pidAdjustWd->deleteLater();
    serialNumInputWd->deleteLater();
    tecDebugWd->deleteLater();
    fanDebugWd->deleteLater();
    plCommand->deleteLater();
    passwordWd->deleteLater();
    trendWd->deleteLater();
    eventWd->deleteLater();
    reportDialog->deleteLater();
    delete ui;
}

void AdminWd::connectPortSignals()
{
    connect(commSetWd, &CommSet::sendCommInfo, plCommand, &PlCommand::turnOnSpcomm);
    connect(this, &AdminWd::turnOffSpcomm, plCommand, &PlCommand::turnOffSpcomm);
}

void AdminWd::connectCommandSignals()
{
    connect(this, &AdminWd::softResetDev, plCommand, &PlCommand::softResetDev);
    connect(this, &AdminWd::turnOnOffLd, plCommand, &PlCommand::turnOnOffLd);
    connect(this, &AdminWd::setPowerPercent, plCommand, &PlCommand::setPowerPercent);
    connect(this, &AdminWd::setTempThreshold, plCommand, &PlCommand::setTempThreshold);
    connect(this, &AdminWd::setDevFrameNum, plCommand, &PlCommand::setDevFrameNum);
    connect(this, &AdminWd::setSaveMaxDac, plCommand, &PlCommand::setSaveMaxDac);
    connect(this, &AdminWd::setNotSaveMaxDac, plCommand, &PlCommand::setNotSaveMaxDac);
    connect(this, &AdminWd::setCompensationHours, plCommand, &PlCommand::setCompensationHours);
    connect(this, &AdminWd::setDevSerialNum, plCommand, &PlCommand::setDevSerialNum);
    connect(this, &AdminWd::setPidValue, plCommand, &PlCommand::setPidValue);
    connect(this, &AdminWd::turnOnOffTec, plCommand, &PlCommand::turnOnOffTec);
    connect(this, &AdminWd::setTecPowerDac, plCommand, &PlCommand::setTecPowerDac);
    connect(this, &AdminWd::switchAutoTec, plCommand, &PlCommand::switchAutoTec);
    connect(this, &AdminWd::setLdTypeSignal, plCommand, &PlCommand::setLdTypeParam);
    connect(this, &AdminWd::queryPidParamSignal, plCommand, &PlCommand::queryPidParam);
    connect(this, &AdminWd::queryAllStatParamSignal, plCommand, &PlCommand::queryAllStatParam);
    PlCommand *executor = plCommand; // the lambda runs on the executor's thread
    connect(this, &AdminWd::writeCommandSignal, plCommand, [executor](quint16 word, const QVector<quint32> &values) {
        executor->execWrite(CommandWord(word), values);
    });
}

void AdminWd::appendLog(const QString &message)
{
    logPane->append(message);
}

void AdminWd::connectLogPort()
{
    // The lines about opening a port name that port; so do the lines while
    // it is open, up to the one that says it closed or was lost. These run
    // around the window's own handlers of the same signals.
    connect(plCommand, &PlCommand::turnOnSpcommResult, logPane, [this](const QString &name) { logPane->setPort(name); });
    connect(plCommand, &PlCommand::turnOnSpcommResult, this, &AdminWd::updateSerialOn);
    connect(plCommand, &PlCommand::turnOnSpcommResult, logPane, [this](const QString &, quint8 result) {
        if (result != 0)
            logPane->setPort(QString());
    });
    connect(plCommand, &PlCommand::turnOffSpcommResult, this, &AdminWd::updateSerialOff);
    connect(plCommand->lossNotifier(), &PortLossNotifier::portLost, this, &AdminWd::updateSerialLost);
    connect(plCommand, &PlCommand::turnOffSpcommResult, logPane, [this] { logPane->setPort(QString()); });
    connect(plCommand->lossNotifier(), &PortLossNotifier::portLost, logPane, [this] { logPane->setPort(QString()); });
}

void AdminWd::connectEvents()
{
    // A failed try of the automatic reconnection is no event, as it is no log line.
    connect(plCommand, &PlCommand::turnOnSpcommResult, events, [this](const QString &name, quint8 result) {
        const bool reopening = reconnect && reconnect->isReopening();
        if (!(reopening && result != 0))
            events->notePortOpened(name, result == 0, reopening);
    });
    // The close that follows a loss is part of the loss.
    connect(plCommand, &PlCommand::turnOffSpcommResult, events, [this](const QString &name, quint8 result) {
        if (!(devPortLost && result == 0))
            events->notePortClosed(name, result == 0);
    });
    connect(plCommand->lossNotifier(), &PortLossNotifier::portLost, events, &EventLog::notePortLost);
    connect(plCommand, &PlCommand::sendCommErrNums, events,
            [this](quint32 errors) { events->noteErrorCount(errors, quint32(commErrLimit)); });
    connect(plCommand, &PlCommand::writeCmdResult, events, &EventLog::noteCommand);
    connect(this, &AdminWd::statusSampled, events, &EventLog::noteStatus);
    connect(this, &AdminWd::factoryModeChanged, events, &EventLog::noteFactoryMode);
    connect(updateWd, &UpdateWidget::transferEnded, events, &EventLog::noteTransfer);
    connect(this, &AdminWd::updatePidWd, this, [this](const QVector<quint32> &reply) { lastPidReply = reply; });
}

bool AdminWd::confirmDisconnect()
{
    const auto answer = QMessageBox::question(this, tr("通知"), tr("继续操作会断开当前连接，确定？"),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    return answer == QMessageBox::Yes;
}

void AdminWd::openSerialSetWd()
{
    if (devPortOpen) {
        if (!confirmDisconnect())
            return;
        // The executor closes the port later, on its thread; updateSerialOff follows.
        emit turnOffSpcomm();
    }
    commSetWd->show();
}

// The update window opens the physical port itself, so the device link
// has to let go of it first.
void AdminWd::openUpdateWd()
{
    if (reconnect->isWaiting()) {
        // The update window takes the port: the link must not take it back.
        reconnect->stop();
        ui->ComNameShow->setText(tr("连接断开"));
    }
    if (devPortOpen) {
        if (!confirmDisconnect())
            return;
        emit turnOffSpcomm();
    }
    updateWd->show();
}

void AdminWd::queryDevInfo()
{
    // Every tick is one poll for the trend and the recording: while no port
    // is open, a lost one, so the time goes on and the absence shows.
    if (!devPortOpen) {
        emit statusLost();
        return;
    }
    notePollSent();
    emit queryAllStatParamSignal();

    // While the PID window is shown, every second tick also asks for the PID
    // parameters, after the status query of the same tick.
    if (!pidAdjustWd->isVisible())
        return;
    if (++pidPollPhase == 2) {
        pidPollPhase = 0;
        emit queryPidParamSignal();
    }
}

void AdminWd::updateSerialOn(QString name, quint8 result)
{
    const bool reopened = reconnect->isReopening();
    if (reopened) {
        reconnect->reopenFinished(result == 0);
        if (result != 0)
            return; // still waiting: a failed try is not worth a line
    }
    if (result == 0) {
        ui->ComNameShow->setText(name);
        ui->ComNameShow->setToolTip(name);
        // A long name shows its start, not its last characters.
        ui->ComNameShow->setCursorPosition(0);
        appendLog(name + (reopened ? tr("设备已恢复，串口已重新打开\r\n") : tr("打开成功\r\n")));
        devPortOpen = true;
        statusReplyPending = false;
        forgetDeviceSettings();
        // Values from before the open stay faded until the device answers.
        setStatusLive(false);
        if (reopened)
            openPortSettings = reconnect->settings();
        else
            openPortSettings = chosenPortSettings.value(0) == name ? chosenPortSettings : QVector<QString>();
        WindowSettings::setLastPort(openPortSettings);
        // The opened port's name, not a button that switches the laser,
        // holds the focus: Enter in the serial dialog followed by Space or
        // Enter must not act.
        ui->ComNameShow->setFocus(Qt::OtherFocusReason);
        emit devicePortChanged(true);
    } else {
        ui->ComNameShow->setText(tr("连接断开"));
        appendLog(name + tr("打开失败\r\n"));
        notePortClosed();
        emit devicePortChanged(false);
    }
}

void AdminWd::updateSerialOff(QString name, quint8 result)
{
    if (devPortLost && result == 0) {
        devPortLost = false; // the loss is in the log already (updateSerialLost)
    } else if (result == 0) {
        ui->ComNameShow->setText(tr("连接断开"));
        appendLog(name + tr("关闭成功\r\n"));
    } else {
        ui->ComNameShow->setText(tr("连接未知"));
        appendLog(name + tr("关闭失败\r\n"));
    }
    notePortClosed();
    emit devicePortChanged(false);
}

void AdminWd::updateSerialLost(QString name)
{
    devPortLost = true;
    notePortClosed();
    if (ui->actionAutoReconnect->isChecked() && openPortSettings.value(0) == name
        && reconnect->start(openPortSettings)) {
        appendLog(name + tr("设备丢失，串口已关闭，等待重新连接\r\n"));
        showWaitingForPort();
    } else {
        ui->ComNameShow->setText(tr("连接断开"));
        appendLog(name + tr("设备丢失，串口已关闭\r\n"));
    }
}

void AdminWd::notePortClosed()
{
    devPortOpen = false;
    statusReplyPending = false;
    setStatusLive(false);
}

void AdminWd::showWaitingForPort()
{
    ui->ComNameShow->setText(tr("等待重连：") + reconnect->portName());
    ui->ComNameShow->setToolTip(ui->ComNameShow->text());
    ui->ComNameShow->setCursorPosition(0);
}

void AdminWd::notePortChosen(QVector<QString> settings)
{
    // The operator's choice replaces the wait for the old port.
    chosenPortSettings = settings;
    reconnect->stop();
}

void AdminWd::setAutoReconnect(bool on)
{
    WindowSettings::setAutoReconnect(on);
    if (on || !reconnect->isWaiting())
        return;
    reconnect->stop();
    ui->ComNameShow->setText(tr("连接断开"));
}

void AdminWd::updateCommStat(quint32 errNums)
{
    devStat.commError = quint64(errNums) > commErrLimit;
    refreshLamps();
}

void AdminWd::updateGeneralReadSlots(quint8 result, QByteArray readSrcData)
{
    if (result != 0) {
        noteReadResult(result, readSrcData);
        return;
    }
    const quint16 word = StatusDecoder::commandWord(readSrcData);
    applyReadReply(word, readSrcData);
    if (devPortOpen && word == StatusDecoder::WordAllStatus && !statusLive)
        setStatusLive(true);
    refreshLamps();
    refreshStatusView();
    followDeviceSettings();
    noteReadResult(result, readSrcData);
}

void AdminWd::notePollSent()
{
    // A status query that got no answer at all (the executor answers nothing
    // once its port has gone) counts as lost when the next one goes out.
    if (statusReplyPending)
        emit statusLost();
    statusReplyPending = true;
}

void AdminWd::noteReadResult(quint8 result, const QByteArray &frame)
{
    // Results come back in the order the queries went out, and each tick's
    // status query goes before its PID query: while a status answer is
    // pending, any read result but a PID reply belongs to it.
    const quint16 word = StatusDecoder::commandWord(frame);
    if (!statusReplyPending || word == StatusDecoder::WordPidParam)
        return;
    if (result == 0 && word != StatusDecoder::WordAllStatus)
        return;
    statusReplyPending = false;
    if (result == 0 && frame.size() >= StatusDecoder::AllStatusFrameSize)
        emit statusSampled(devStat);
    else
        emit statusLost();
}

void AdminWd::applyReadReply(quint16 word, const QByteArray &frame)
{
    if (word == StatusDecoder::WordPidParam)
        emitPidReply(frame);
    else if (word == StatusDecoder::WordAllStatus)
        parseAllStatus(frame);
    else
        StatusDecoder::applyReadReply(devStat, word, frame);
}

void AdminWd::parseAllStatus(const QByteArray &frame)
{
    StatusDecoder::parseAllStatus(devStat, frame);
}

void AdminWd::emitPidReply(const QByteArray &frame)
{
    emit updatePidWd(StatusDecoder::decodePidReply(frame));
}

void AdminWd::decodeAlarmBits()
{
    StatusDecoder::decodeAlarmBits(devStat);
}

void AdminWd::refreshLamps()
{
    // Widgets are looked up in the central widget only: tool windows are
    // children of this window too and may reuse field names.
    decodeAlarmBits();
    StatusDecoder::decodeLaserState(devStat);
    const auto lamps = StatusFormat::lampStates(devStat);
    for (const auto &lamp : lamps) {
        QLabel *label = ui->centralWidget->findChild<QLabel *>(lamp.first);
        if (!label)
            continue;
        // The link lamp tells the present: without an open port, no link.
        if (label == ui->CommStat)
            label->setPixmap(lampPixmap(lamp.second && devPortOpen, true, devicePixelRatioF()));
        else
            label->setPixmap(lampPixmap(lamp.second, statusLive, devicePixelRatioF()));
    }
}

void AdminWd::setStatusLive(bool live)
{
    statusLive = live;
    const auto fields = StatusFormat::fieldTexts(devStat);
    for (const auto &field : fields) {
        if (QLineEdit *edit = ui->centralWidget->findChild<QLineEdit *>(field.first))
            edit->setStyleSheet(live ? QString() : kFadedFieldStyle);
    }
    refreshLamps();
}

void AdminWd::refreshStatusView()
{
    // Fields the device has not reported stay empty. A text that did not
    // change is left alone: rewriting it would drop the operator's selection
    // (a serial number being copied) at every poll.
    const auto fields = StatusFormat::shownFieldTexts(devStat);
    for (const auto &field : fields) {
        QLineEdit *edit = ui->centralWidget->findChild<QLineEdit *>(field.first);
        if (edit && edit->text() != field.second)
            edit->setText(field.second);
    }
}

QString AdminWd::formatSerialNumber(const QByteArray &record)
{
    return StatusFormat::formatSerialNumber(record);
}

void AdminWd::followDeviceSettings()
{
    const quint32 known = devStat.reportedFields;
    if ((known & DevField::MaxDac) && maxDacFollower.changed(devStat.maxDac))
        ui->spinBoxMaxDac->setValue(devStat.maxDac);
    if ((known & DevField::TempThreshold) && thresholdFollower.changed(devStat.tempThreshold))
        ui->doubleSpinBoxLdTempThValue->setValue(devStat.tempThreshold / 10.0);
    // A handle the operator holds is not pulled away; the device's value
    // arrives with the next reply after the release.
    QSlider *power = ui->horizontalSlider_PowerSet;
    if ((known & DevField::PowerPercent) && !power->isSliderDown() && powerFollower.changed(devStat.powerPercent)) {
        const QSignalBlocker quiet(power); // showing the device's value sends nothing
        power->setValue(devStat.powerPercent);
        ui->spinBox_PowerVal->setValue(power->value());
    }
}

void AdminWd::forgetDeviceSettings()
{
    maxDacFollower.forget();
    powerFollower.forget();
    thresholdFollower.forget();
}

void AdminWd::fitLongValueFields()
{
    // Every text gets the room it needs in the window's own font (12 pt, or
    // more pixels at a higher dpi): buttons as wide as their text, fields as
    // wide as their widest value, long device paths and serial numbers
    // whole. The layout then sets the window's smallest size from these.
    const QFontMetrics metrics(ui->ComNameShow->font());
    const int padding = metrics.averageCharWidth();
    const int buttonFrame = 2 * (style()->pixelMetric(QStyle::PM_ButtonMargin)
                                 + style()->pixelMetric(QStyle::PM_DefaultFrameWidth));
    for (QPushButton *button : ui->centralWidget->findChildren<QPushButton *>())
        button->setMinimumWidth(metrics.horizontalAdvance(button->text()) + buttonFrame + padding);

    // The widest values a device reports in service: counters at their
    // limit, temperatures below -100 ℃ or above 1000 ℃ do not occur.
    DevStatusCache widest;
    widest.fwMajor = widest.fwMinor = 255;
    widest.powerPercent = widest.fanSpeed1 = widest.fanSpeed2 = widest.fanSpeed3 = 65535;
    widest.ldCurrent = widest.tecCurrentMa = widest.maxDac = 65535;
    widest.tempThreshold = widest.ldTemp = widest.ldTemp2 = widest.mcuTemp = widest.envTemp = -999;
    widest.devRxFrames = widest.devTxFrames = widest.runSeconds = 4294967295u;
    widest.compensationHours = 100000; // the most the settings area sets
    widest.serialNum = QByteArray::fromHex("FFFFFF630C1FFFFF");
    for (const auto &field : StatusFormat::fieldTexts(widest)) {
        if (QLineEdit *edit = ui->centralWidget->findChild<QLineEdit *>(field.first))
            edit->setMinimumWidth(metrics.horizontalAdvance(field.second) + padding);
    }
    ui->devSerialNumValue->setMinimumWidth(ui->devSerialNum->minimumWidth());
    ui->ComNameShow->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("/dev/ttyUSB10")) + padding);
}

// ---- operator controls ----------------------------------------------------

void AdminWd::on_btnTurnOnLd_clicked()
{
    emit turnOnOffLd(1);
}

void AdminWd::on_btnTurnOffLd_clicked()
{
    emit turnOnOffLd(0);
}

void AdminWd::on_btnSetMaxDac_clicked()
{
    emit setSaveMaxDac(quint16(ui->spinBoxMaxDac->value()));
}

void AdminWd::on_btnSetMaxDacPlus_clicked()
{
    const quint16 v = quint16(ui->spinBoxMaxDac->value());
    quint16 n = quint16(v + 1);
    if (n > ui->spinBoxMaxDac->maximum())
        n = v;
    ui->spinBoxMaxDac->setValue(n);
    emit setNotSaveMaxDac(n);
}

void AdminWd::on_btnSetMaxDacPlus_2_clicked()
{
    const quint16 v = quint16(ui->spinBoxMaxDac->value());
    const quint16 n = v != 0 ? quint16(v - 1) : quint16(0);
    // The spin box keeps its own minimum; the step below it is still sent.
    ui->spinBoxMaxDac->setValue(n);
    emit setNotSaveMaxDac(n);
}

void AdminWd::on_horizontalSlider_PowerSet_sliderReleased()
{
    emit setPowerPercent(quint16(ui->horizontalSlider_PowerSet->value()));
}

void AdminWd::on_horizontalSlider_PowerSet_valueChanged(int value)
{
    ui->spinBox_PowerVal->setValue(value);
    // A drag sends at its release; any other move (wheel, keys, a click on
    // the groove) has no release and sends at once, so the slider never
    // shows a value the device was not asked for.
    if (!ui->horizontalSlider_PowerSet->isSliderDown())
        emit setPowerPercent(quint16(value));
}

void AdminWd::on_btnLdTempThSet_clicked()
{
    // Tenths of a degree, scaled as every other path scales a threshold.
    qint64 tenths = 0;
    QString refused;
    if (CommandCatalogue::parseNumber(CommandWord::TempThreshold, ui->doubleSpinBoxLdTempThValue->value(), &tenths, &refused))
        emit setTempThreshold(qint16(tenths));
}

void AdminWd::on_btn_SaveAutoCompensation_clicked()
{
    emit setCompensationHours(quint32(ui->spinBoxAutoCompensation->value()));
}

void AdminWd::on_btnShowSerialDialog_clicked()
{
    serialNumInputWd->show();
}

void AdminWd::on_btn_devSerialNumValue_clicked()
{
    if (serialNumToWrite.isEmpty()) {
        appendLog(tr("设备序列号为空，设置失败\n"));
        return;
    }
    emit setDevSerialNum(serialNumToWrite);
}

void AdminWd::on_btnSoftReset_clicked()
{
    emit softResetDev();
}

void AdminWd::on_btnZeroFrameNum_clicked()
{
    emit setDevFrameNum(0, 0);
}

void AdminWd::on_btnSaveLdType_clicked()
{
    emit setLdTypeSignal(QByteArray(1, char(ui->comboBoxLdType->currentIndex())));
}

bool AdminWd::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Wheel && qobject_cast<QAbstractSpinBox *>(watched))
        return true;
    if (watched == ui->ComNameShow && event->type() == QEvent::FontChange)
        fitLongValueFields();
    if (watched == ui->spinBox_PowerVal && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            {
                const QSignalBlocker once(ui->horizontalSlider_PowerSet); // sent once, below
                ui->horizontalSlider_PowerSet->setValue(ui->spinBox_PowerVal->value());
            }
            ui->spinBox_PowerVal->setValue(ui->horizontalSlider_PowerSet->value());
            on_horizontalSlider_PowerSet_sliderReleased();
        }
    }
    // Never swallow the key: the spin box gets it too.
    return QMainWindow::eventFilter(watched, event);
}

// ---- results ----------------------------------------------------------------

void AdminWd::updateDevSerialNumValue(QByteArray arrData)
{
    ui->devSerialNumValue->setText(formatSerialNumber(arrData));
    serialNumToWrite = arrData;
}

void AdminWd::updateGeneralWriteSlots(quint8 result, QByteArray srcTxData)
{
    if (result == 0) {
        WriteResult::applyWriteEcho(devStat, srcTxData);
        refreshLamps();
        refreshStatusView();
        followDeviceSettings();
    }
    appendLog(WriteResult::logMessage(result, srcTxData));
}

// ---- factory mode and factory windows -------------------------------------

void AdminWd::openFactoryPasswordWd()
{
    passwordWd->show();
}

void AdminWd::changeUserMode(QString str)
{
    if (str == QLatin1String(kFactoryPassword))
        userMode = 0;
    else
        passwordWd->showWrongPassword();
    applyUserMode();
}

void AdminWd::applyUserMode()
{
    if (userMode != 0 && userMode != 1)
        return;
    const bool factory = userMode == 0;
    // In this order: the settings controls, then the two display fields.
    QWidget *const factoryOnly[] = {
        ui->labelMaxDac, ui->spinBoxMaxDac, ui->btnSetMaxDacPlus, ui->btnSetMaxDacPlus_2,
        ui->btnSetMaxDac, ui->label_AutoCompensation, ui->spinBoxAutoCompensation,
        ui->btn_SaveAutoCompensation, ui->labelSerial, ui->devSerialNumValue,
        ui->btnShowSerialDialog, ui->btn_devSerialNumValue, ui->labelLdType, ui->comboBoxLdType,
        ui->btnSaveLdType, ui->label_Dac, ui->lineEdit_MaxDacShow, ui->label_StatAutoCompensation,
        ui->StatAutoCompensation,
    };
    for (QWidget *w : factoryOnly)
        w->setVisible(factory);
    if (factory != factoryShown) {
        factoryShown = factory;
        emit factoryModeChanged(factory);
    }
    ui->actionPidDebug->setVisible(factory);
    ui->actiontecDebug->setVisible(factory);
    ui->actionfanDebug->setVisible(factory);
}

void AdminWd::openPidAdjust()
{
    pidAdjustWd->show();
}

void AdminWd::openTecDebugWd()
{
    tecDebugWd->show();
}

void AdminWd::openFanDebugWd()
{
    fanDebugWd->show();
}

void AdminWd::openTrendWd()
{
    trendWd->show();
    trendWd->raise();
}

void AdminWd::openAboutWd()
{
    // Installed, the README sits in share/doc/korvex beside the program's bin.
    const QString installed = QDir::cleanPath(QCoreApplication::applicationDirPath()
                                              + QStringLiteral("/../share/doc/korvex/README.md"));
    const QString readme = QFileInfo::exists(installed) ? installed
                                                        : QStringLiteral("/usr/share/doc/korvex/README.md");
    QMessageBox::about(this, tr("关于"),
                       tr("Korvex %1\n激光光源的维护与工厂工具\n\n说明文件：%2\n手册：man korvex")
                           .arg(QStringLiteral(KORVEX_VERSION), readme));
}

void AdminWd::openEventWd()
{
    eventWd->show();
    eventWd->raise();
}

void AdminWd::openServiceReportWd()
{
    reportDialog->setSuggestedPath(QDir::home().filePath(ServiceReport::defaultFileName(devStat)));
    if (reportDialog->exec() != QDialog::Accepted || reportDialog->path().isEmpty())
        return;
    QString error;
    const QString path = reportDialog->path();
    if (exportServiceReport(path, reportDialog->typed(), &error))
        appendLog(tr("服务报告已导出：%1\n").arg(path));
    else
        QMessageBox::warning(this, tr("警告"), tr("无法导出服务报告 %1：%2").arg(path, error));
}

void AdminWd::refreshPidReply()
{
    if (!devPortOpen)
        return;
    QEventLoop wait;
    QTimer::singleShot(1500, &wait, &QEventLoop::quit);
    const auto answered = connect(this, &AdminWd::updatePidWd, &wait, &QEventLoop::quit);
    emit queryPidParamSignal();
    wait.exec(QEventLoop::ExcludeUserInputEvents);
    disconnect(answered);
}

bool AdminWd::exportServiceReport(const QString &path, const ServiceReport::Typed &typed, QString *error)
{
    refreshPidReply();
    const ServiceReportContent content = ServiceReport::gather(typed, ui->gridLayout, devStat, lastPidReply,
                                                               *events, trendWd->samples());
    return ServiceReportWriter::write(path, content, error);
}
