#include "AdminWd.h"
#include "ui_AdminWd.h"

#include "CommSet.h"
#include "CommandCatalogue.h"
#include "DevicePort.h"
#include "DialogPasswordWd.h"
#include "FactoryPassword.h"
#include "ProductionTestWd.h"
#include "InputCutGuard.h"
#include "EventLog.h"
#include "EventWd.h"
#include "LampPixmap.h"
#include "LampText.h"
#include "Language.h"
#include "LogPane.h"
#include "PidAdjust.h"
#include "PlCommand.h"
#include "PortLossNotifier.h"
#include "ServiceReportDialog.h"
#include "StatusDecoder.h"
#include "StatusFormat.h"
#include "TecDebug.h"
#include "TrendWd.h"
#include "UpdateWidget.h"
#include "WindowFit.h"
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
#include <QSlider>
#include <QTimer>

// The library is static: its embedded pictures must be registered by hand.
static void initKorvexResources()
{
    Q_INIT_RESOURCE(korvex);
}

// Values not live: grey text (the values stay readable and selectable).
static const QString FadedFieldStyle = QStringLiteral("color: #a0a0a0;");

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

// Each setting box says what it takes: its range and unit, in a suffix
// where the unit is short and always in its tool tip.
static void showRangesAndUnits(Ui::AdminWd *ui)
{
    ui->doubleSpinBoxLdTempThValue->setSuffix(QStringLiteral(" ℃"));
    ui->spinBoxAutoCompensation->setSuffix(QStringLiteral(" h"));
    const auto tip = [](QAbstractSpinBox *box, const QString &text) {
        box->setToolTip(text);
        box->setStatusTip(text);
    };
    tip(ui->spinBox_PowerVal, AdminWd::tr("激光功率 %1–%2（1000 = 满功率），回车发送")
                                  .arg(ui->spinBox_PowerVal->minimum())
                                  .arg(ui->spinBox_PowerVal->maximum()));
    ui->horizontalSlider_PowerSet->setToolTip(ui->spinBox_PowerVal->toolTip());
    tip(ui->doubleSpinBoxLdTempThValue, AdminWd::tr("温度保护阈值 %1–%2 ℃")
                                            .arg(ui->doubleSpinBoxLdTempThValue->minimum(), 0, 'f', 1)
                                            .arg(ui->doubleSpinBoxLdTempThValue->maximum(), 0, 'f', 1));
    tip(ui->spinBoxMaxDac, AdminWd::tr("最大DAC %1–%2（DAC计数）")
                               .arg(ui->spinBoxMaxDac->minimum())
                               .arg(ui->spinBoxMaxDac->maximum()));
    tip(ui->spinBoxAutoCompensation, AdminWd::tr("自动补偿时长 %1–%2 小时")
                                         .arg(ui->spinBoxAutoCompensation->minimum())
                                         .arg(ui->spinBoxAutoCompensation->maximum()));
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
      commErrLimit(10)
{
    initKorvexResources();
    ui->setupUi(this);
    applyCommandRanges(ui);
    showRangesAndUnits(ui);
    Language::addMenu(ui->menuBar, Language::current());
    // Factory mode can be left again, beside the entry that unlocks it; the
    // entry is in the menu only while factory mode is on.
    leaveFactoryAction = new QAction(tr("退出工厂模式"), this);
    leaveFactoryAction->setObjectName(QStringLiteral("actionLeaveFactoryMode"));
    connect(leaveFactoryAction, &QAction::triggered, this, &AdminWd::leaveFactoryMode);
    // The production test sits with the factory windows, in the menu only
    // while factory mode is on.
    productionTestAction = new QAction(tr("生产测试"), this);
    productionTestAction->setObjectName(QStringLiteral("actionProductionTest"));
    connect(productionTestAction, &QAction::triggered, this, &AdminWd::openProductionTestWd);
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
    cutGuard = new InputCutGuard(this);
    for (QAbstractSpinBox *box : {static_cast<QAbstractSpinBox *>(ui->spinBox_PowerVal),
                                  static_cast<QAbstractSpinBox *>(ui->spinBoxMaxDac),
                                  static_cast<QAbstractSpinBox *>(ui->doubleSpinBoxLdTempThValue),
                                  static_cast<QAbstractSpinBox *>(ui->spinBoxAutoCompensation)})
        cutGuard->watch(box);
    // The form's font comes from its style sheet, applied when polished;
    // the sizes follow it whenever it changes.
    ensurePolished();
    fitLongValueFields();
    ui->ComNameShow->installEventFilter(this);
    // On a small or scaled screen the window can be smaller than its
    // controls want: they scroll then, none is out of reach.
    WindowFit::scrollWhenSmall(this);

    plCommand = new PlCommand;
    devicePort = new DevicePort(quint32(commErrLimit), this);
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
    // The test's exchanges go through this window's executor, which owns
    // the port (see ExecutorUnitLink): never a second owner of it.
    productionTestWd = new ProductionTestWd(
        plCommand, [this] { return devicePort->isOpen() ? devicePort->name() : QString(); }, this);
    connect(this, &AdminWd::statusSampled, productionTestWd, &ProductionTestWd::showLive);
    updateWd->hide();
    // The trend's three charts stay readable: a lower window scrolls them.
    WindowFit::scrollWhenSmall(trendWd);
    // Every window opens inside the screen, clear of the tool windows
    // already open, or where it was last when that still fits.
    for (QWidget *window : {static_cast<QWidget *>(this), static_cast<QWidget *>(commSetWd),
                            static_cast<QWidget *>(pidAdjustWd), static_cast<QWidget *>(serialNumInputWd),
                            static_cast<QWidget *>(tecDebugWd), static_cast<QWidget *>(fanDebugWd),
                            static_cast<QWidget *>(updateWd), static_cast<QWidget *>(passwordWd),
                            static_cast<QWidget *>(trendWd), static_cast<QWidget *>(eventWd),
                            static_cast<QWidget *>(reportDialog), static_cast<QWidget *>(productionTestWd)})
        WindowFit::keepOnScreen(window);
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
    // A drag sends every step; its log is one line, written once the
    // slider is released and every step's result is in.
    connect(tecDebugWd, &TecDebug::setTecPowerDac, this, [this] {
        if (tecDebugWd->isDragging())
            ++tecDrag.pending;
    });
    connect(tecDebugWd->findChild<QSlider *>(QStringLiteral("tecPowerSet")), &QSlider::sliderReleased, this,
            &AdminWd::logTecDragIfDone);
    connect(tecDebugWd, &TecDebug::switchAutoTec, plCommand, &PlCommand::switchAutoTec);
    connect(fanDebugWd, &fan_debug::setFanAutoPwm, plCommand, &PlCommand::setFanAutoPwm);
    connectPortSignals();
    connectCommandSignals();
    connect(ui->actionTrend, &QAction::triggered, this, &AdminWd::openTrendWd);
    connect(ui->actionAbout, &QAction::triggered, this, &AdminWd::openAboutWd);
    connect(this, &AdminWd::statusSampled, trendWd, &TrendWd::addStatus);
    connect(this, &AdminWd::statusLost, trendWd, &TrendWd::addLost);
    connect(this, &AdminWd::devicePortChanged, trendWd, &TrendWd::portChanged);

    connect(devicePort, &DevicePort::reopen, plCommand, &PlCommand::turnOnSpcomm);
    connect(updateWd, &UpdateWidget::transferLogLine, this, [this](const QString &line) { appendLog(line); });
    connect(updateWd, &UpdateWidget::reopenDevicePort, this, &AdminWd::reopenAfterUpdate);
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
    WindowFit::rememberOpenWindows();
    // A production test still running ends first, its unit made safe through
    // the executor, which must outlive it.
    delete productionTestWd;
    productionTestWd = nullptr;
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
        const bool reopening = devicePort && devicePort->isReopening();
        if (!(reopening && result != 0))
            events->notePortOpened(name, result == 0, reopening);
    });
    // The close that follows a loss is part of the loss.
    connect(plCommand, &PlCommand::turnOffSpcommResult, events, [this](const QString &name, quint8 result) {
        if (!(devicePort->closingAfterLoss() && result == 0))
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
    if (devicePort->isOpen()) {
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
    if (devicePort->isWaiting()) {
        // The update window takes the port: the link must not take it back.
        devicePort->stopWaiting();
        ui->ComNameShow->setText(tr("连接断开"));
    }
    if (devicePort->isOpen()) {
        if (!confirmDisconnect())
            return;
        emit turnOffSpcomm();
    }
    // The boot loader is most often where the device was.
    updateWd->setPreferredPort(WindowSettings::lastPort().value(0));
    updateWd->show();
}

void AdminWd::reopenAfterUpdate(const QString &portName)
{
    // The line settings the device link last used, on the port the update
    // went through.
    QVector<QString> settings = WindowSettings::lastPort();
    if (settings.size() != 4)
        settings = {QString(), QStringLiteral("19200"), QStringLiteral("1"), QStringLiteral("无")};
    settings[0] = portName;
    reportFirmwareAfterOpen = true;
    devicePort->openWith(settings);
}

void AdminWd::queryDevInfo()
{
    // Every tick is one poll for the trend and the recording: while no port
    // is open, a lost one, so the time goes on and the absence shows.
    if (!devicePort->isOpen()) {
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
    const DevicePort::Opened outcome = devicePort->noteOpenResult(name, result);
    if (outcome == DevicePort::Opened::StillWaiting)
        return; // a failed try is not worth a line
    if (outcome == DevicePort::Opened::Failed) {
        reportFirmwareAfterOpen = false;
        ui->ComNameShow->setText(tr("连接断开"));
        appendLog(name + tr("打开失败\r\n"));
        notePortClosed();
        emit devicePortChanged(false);
        return;
    }
    ui->ComNameShow->setText(name);
    ui->ComNameShow->setToolTip(name);
    // A long name shows its start, not its last characters.
    ui->ComNameShow->setCursorPosition(0);
    const bool reopened = outcome == DevicePort::Opened::Reopened;
    appendLog(name + (reopened ? tr("设备已恢复，串口已重新打开\r\n") : tr("打开成功\r\n")));
    pollReplies.forget();
    forgetDeviceSettings();
    // Values from before the open stay faded until the device answers.
    setStatusLive(false);
    WindowSettings::setLastPort(devicePort->openSettings());
    // The opened port's name, not a button that switches the laser, holds
    // the focus: Enter in the serial dialog followed by Space or Enter must
    // not act.
    ui->ComNameShow->setFocus(Qt::OtherFocusReason);
    emit devicePortChanged(true);
}

void AdminWd::updateSerialOff(QString name, quint8 result)
{
    switch (devicePort->noteCloseResult(result)) {
    case DevicePort::Closed::AfterLoss:
        break; // the loss is in the log already (updateSerialLost)
    case DevicePort::Closed::Closed:
        ui->ComNameShow->setText(tr("连接断开"));
        appendLog(name + tr("关闭成功\r\n"));
        break;
    case DevicePort::Closed::Failed:
        ui->ComNameShow->setText(tr("连接未知"));
        appendLog(name + tr("关闭失败\r\n"));
        break;
    }
    notePortClosed();
    emit devicePortChanged(false);
}

void AdminWd::updateSerialLost(QString name)
{
    if (devicePort->noteLost(name, ui->actionAutoReconnect->isChecked())) {
        appendLog(name + tr("设备丢失，串口已关闭，等待重新连接\r\n"));
        showWaitingForPort();
    } else {
        ui->ComNameShow->setText(tr("连接断开"));
        appendLog(name + tr("设备丢失，串口已关闭\r\n"));
    }
    notePortClosed();
}

void AdminWd::notePortClosed()
{
    pollReplies.forget();
    setStatusLive(false);
}

void AdminWd::showWaitingForPort()
{
    ui->ComNameShow->setText(tr("等待重连：") + devicePort->waitingName());
    ui->ComNameShow->setToolTip(ui->ComNameShow->text());
    ui->ComNameShow->setCursorPosition(0);
}

void AdminWd::notePortChosen(QVector<QString> settings)
{
    // The operator's choice replaces the wait for the old port.
    devicePort->choose(settings);
}

void AdminWd::setAutoReconnect(bool on)
{
    WindowSettings::setAutoReconnect(on);
    if (on || !devicePort->isWaiting())
        return;
    devicePort->stopWaiting();
    ui->ComNameShow->setText(tr("连接断开"));
}

void AdminWd::updateCommStat(quint32 errNums)
{
    devStat.commError = quint64(errNums) > commErrLimit;
    // A unit that stops answering through an open port looks as one whose
    // port is gone: nothing it showed before is live any more.
    switch (devicePort->noteFailedExchanges(errNums)) {
    case DevicePort::Answering::Stopped:
        appendLog(devicePort->name()
                  + tr("设备无应答（连续%1次通讯失败）\r\n").arg(errNums));
        setStatusLive(false);
        return;
    case DevicePort::Answering::Resumed:
        appendLog(devicePort->name() + tr("设备恢复应答\r\n"));
        break; // its next status reply makes the display live again
    case DevicePort::Answering::Unchanged:
        break;
    }
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
    if (devicePort->isAnswering() && word == StatusDecoder::WordAllStatus && !statusLive)
        setStatusLive(true);
    refreshLamps();
    refreshStatusView();
    followDeviceSettings();
    if (reportFirmwareAfterOpen && word == StatusDecoder::WordAllStatus) {
        reportFirmwareAfterOpen = false;
        appendLog(tr("设备现在的固件版本：%1\r\n").arg(ui->SoftVersion->text()));
    }
    noteReadResult(result, readSrcData);
}

void AdminWd::notePollSent()
{
    if (pollReplies.sent() == StatusPollReplies::Outcome::Lost)
        emit statusLost();
}

void AdminWd::noteReadResult(quint8 result, const QByteArray &frame)
{
    switch (pollReplies.read(result, frame)) {
    case StatusPollReplies::Outcome::Sampled:
        emit statusSampled(devStat);
        break;
    case StatusPollReplies::Outcome::Lost:
        emit statusLost();
        break;
    case StatusPollReplies::Outcome::None:
        break;
    }
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
        const bool link = label == ui->CommStat;
        const bool green = link ? lamp.second && devicePort->isOpen() : lamp.second;
        const bool live = link || statusLive;
        label->setPixmap(lampPixmap(green, live, devicePixelRatioF()));
        const QString word = LampText::forState(lamp.first, green);
        QLabel *text = LampText::attach(label);
        text->setText(word);
        text->setStyleSheet(live ? QString() : FadedFieldStyle);
        label->setToolTip(word);
    }
}

void AdminWd::setStatusLive(bool live)
{
    statusLive = live;
    const auto fields = StatusFormat::fieldTexts(devStat);
    for (const auto &field : fields) {
        if (QLineEdit *edit = ui->centralWidget->findChild<QLineEdit *>(field.first))
            edit->setStyleSheet(live ? QString() : FadedFieldStyle);
    }
    tecDebugWd->showTecCurrent(live ? ui->tecCurrent->text() : QString());
    showFanSpeeds();
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
    tecDebugWd->showTecCurrent(statusLive ? ui->tecCurrent->text() : QString());
    showFanSpeeds();
}

void AdminWd::showFanSpeeds()
{
    QStringList speeds;
    if (statusLive)
        speeds << ui->FanSpeed1->text() << ui->FanSpeed2->text() << ui->FanSpeed3->text();
    fanDebugWd->showFanSpeeds(speeds);
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
    if ((known & DevField::TempThreshold) && thresholdFollower.changed(devStat.tempThreshold)) {
        ui->doubleSpinBoxLdTempThValue->setValue(devStat.tempThreshold / 10.0);
        cutGuard->clear(ui->doubleSpinBoxLdTempThValue); // the device's value, not a cut one
    }
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

bool AdminWd::refuseCutValue(QAbstractSpinBox *box, const QString &what)
{
    if (!cutGuard->wasCut(box))
        return false;
    appendLog(tr("%1：输入超出范围，显示的值 %2 是截断后的，未发送\r\n").arg(what, box->text()));
    return true;
}

void AdminWd::on_btnSetMaxDac_clicked()
{
    if (refuseCutValue(ui->spinBoxMaxDac, tr("最大DAC")))
        return;
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
    if (refuseCutValue(ui->doubleSpinBoxLdTempThValue, tr("温度阈值")))
        return;
    qint64 tenths = 0;
    QString refused;
    if (!CommandCatalogue::parseNumber(CommandWord::TempThreshold, ui->doubleSpinBoxLdTempThValue->value(), &tenths,
                                       &refused))
        return;
    // A threshold below the laser's temperature trips the protection at once.
    if ((devStat.reportedFields & DevField::LdTemp) && tenths < devStat.ldTemp) {
        const auto answer = QMessageBox::warning(
            this, tr("确认温度阈值"),
            tr("新的温度保护阈值 %1 ℃ 低于激光当前温度 %2 ℃，保存后温度保护会立即动作。\n仍要保存？")
                .arg(tenths / 10.0, 0, 'f', 1)
                .arg(devStat.ldTemp / 10.0, 0, 'f', 1),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
    }
    emit setTempThreshold(qint16(tenths));
}

void AdminWd::on_btn_SaveAutoCompensation_clicked()
{
    if (refuseCutValue(ui->spinBoxAutoCompensation, tr("自动补偿时长")))
        return;
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
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !refuseCutValue(ui->spinBox_PowerVal, tr("激光功率"))) {
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
    if (tecDrag.pending > 0 && StatusDecoder::commandWord(srcTxData) == CommandCatalogue::code(CommandWord::TecPowerDac)) {
        --tecDrag.pending;
        ++tecDrag.sent;
        tecDrag.failed += result != 0;
        tecDrag.lastResult = result;
        tecDrag.lastFrame = srcTxData;
        logTecDragIfDone();
        return;
    }
    appendLog(WriteResult::logMessage(result, srcTxData));
}

void AdminWd::logTecDragIfDone()
{
    if (tecDrag.sent == 0 || tecDrag.pending > 0 || tecDebugWd->isDragging())
        return;
    QString line = WriteResult::logMessage(tecDrag.lastResult, tecDrag.lastFrame);
    while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    appendLog(line + tr("（拖动中发送 %1 次，失败 %2 次）").arg(tecDrag.sent).arg(tecDrag.failed));
    tecDrag = TecDrag();
}

// ---- factory mode and factory windows -------------------------------------

void AdminWd::openFactoryPasswordWd()
{
    passwordWd->show();
}

void AdminWd::changeUserMode(QString str)
{
    if (FactoryPassword::matches(str))
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
    // While the factory controls are out, the title says so.
    leaveFactoryAction->setVisible(factory);
    productionTestAction->setVisible(factory);
    if (factory) {
        ui->menu_2->insertAction(ui->actionTrend, leaveFactoryAction);
        const QList<QAction *> entries = ui->menu_2->actions();
        const int fans = entries.indexOf(ui->actionfanDebug);
        ui->menu_2->insertAction(entries.value(fans + 1), productionTestAction);
    } else {
        ui->menu_2->removeAction(leaveFactoryAction);
        ui->menu_2->removeAction(productionTestAction);
    }
    setWindowTitle(factory ? tr("Korvex [工厂模式]") : QStringLiteral("Korvex"));
}

void AdminWd::leaveFactoryMode()
{
    userMode = 1;
    for (QWidget *tool : {static_cast<QWidget *>(pidAdjustWd), static_cast<QWidget *>(tecDebugWd),
                          static_cast<QWidget *>(fanDebugWd), static_cast<QWidget *>(serialNumInputWd)})
        tool->hide();
    // A test started in factory mode does not go on outside it: stopped,
    // the unit is made safe.
    productionTestWd->abortTest();
    productionTestWd->hide();
    applyUserMode();
    appendLog(tr("已退出工厂模式\r\n"));
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

void AdminWd::openProductionTestWd()
{
    if (userMode != 0)
        return;
    productionTestWd->show();
    productionTestWd->raise();
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
    if (!devicePort->isOpen())
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
