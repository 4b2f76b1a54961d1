#ifndef KORVEX_ADMINWD_H
#define KORVEX_ADMINWD_H

#include "DevStatusCache.h"
#include "ServiceReport.h"
#include "SettingFollower.h"
#include "StatusPollReplies.h"

#include <QByteArray>
#include <QMainWindow>
#include <QString>
#include <QVector>

namespace Ui {
class AdminWd;
}
class CommSet;
class DialogPasswordWd;
class QAction;
class InputCutGuard;
class QAbstractSpinBox;
class EventLog;
class EventWd;
class LogPane;
class PidAdjust;
class ProductionTestWd;
class PlCommand;
class DevicePort;
class QTimer;
class ServiceReportDialog;
class TecDebug;
class TrendWd;
class fan_debug;
class serialNumInput;
class UpdateWidget;

// The main window: owns the form, the command executor and the tool windows,
// polls the device every 500 ms, shows its state and logs command results.
class AdminWd : public QMainWindow
{
    Q_OBJECT
public:
    explicit AdminWd(QWidget *parent = nullptr);
    ~AdminWd() override;

    // The executor (lives on its own worker thread); tests reach it here.
    PlCommand *executor() const { return plCommand; }
    const DevStatusCache &statusCache() const { return devStat; }
    // 1 = user mode, 0 = factory mode.
    int currentUserMode() const { return userMode; }
    EventLog *eventLog() const { return events; }
    TrendWd *trendWindow() const { return trendWd; }
    // Writes the service report of this session to path: the PID
    // coefficients are asked for first while the port is open. False with
    // *error set when the file cannot be written.
    bool exportServiceReport(const QString &path, const ServiceReport::Typed &typed, QString *error);

    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    void turnOffSpcomm();
    void softResetDev();
    void turnOnOffLd(quint8 onOff);
    void setPowerPercent(quint16 powerPercent);
    void setTempThreshold(qint16 tempTh);
    void setDevFrameNum(quint32 rxNum, quint32 txNum);
    void setSaveMaxDac(quint16 dacValue);
    void setNotSaveMaxDac(quint16 dacValue);
    void setCompensationHours(quint32 value);
    void setDevSerialNum(QByteArray arrData);
    void setPidValue(QVector<quint32> arrData);
    void turnOnOffTec(quint8 onOff);
    void setTecPowerDac(quint16 dacVal);
    void switchAutoTec(quint8 onOff);
    void setLdTypeSignal(QByteArray arrData);
    void queryPidParamSignal();
    void queryAllStatParamSignal();
    // A command of the catalogue that has no signal of its own: its word and
    // its values, as the catalogue encodes them.
    void writeCommandSignal(quint16 word, QVector<quint32> values);
    void updatePidWd(QVector<quint32> arrData);
    // For the trend window: each complete all-status reply (decoded), each
    // poll whose reply was lost or refused, and the device port's state.
    void statusSampled(const DevStatusCache &cache);
    void statusLost();
    void devicePortChanged(bool open);
    // Factory mode was entered (true) or left.
    void factoryModeChanged(bool on);

public slots:
    void openSerialSetWd();
    void openPidAdjust();
    void openTecDebugWd();
    void openFanDebugWd();
    void openUpdateWd();
    void openFactoryPasswordWd();
    void queryDevInfo();
    void updateSerialOn(QString name, quint8 result);
    void updateSerialOff(QString name, quint8 result);
    void updateDevSerialNumValue(QByteArray arrData);
    void updateCommStat(quint32 errNums);
    void changeUserMode(QString str);
    void updateGeneralWriteSlots(quint8 result, QByteArray srcTxData);
    void updateGeneralReadSlots(quint8 result, QByteArray readSrcData);
    void openTrendWd();
    // "退出工厂模式": hides the factory controls and windows again.
    void leaveFactoryMode();
    // Writes the one log line of a TEC slider drag once it is over.
    void logTecDragIfDone();
    // "帮助" -> "关于": the program, its version and where its README is.
    void openAboutWd();
    // The executor found the device gone and closed the port itself.
    void updateSerialLost(QString name);
    // The operator confirmed a port in the serial settings dialog.
    void notePortChosen(QVector<QString> settings);
    // The "断线自动重连" option of the menu "通讯设置".
    void setAutoReconnect(bool on);
    // The update window is done with the port: the device link opens it.
    void reopenAfterUpdate(const QString &portName);
    // "其它功能" -> "事件记录" and "导出服务报告…".
    void openEventWd();
    void openServiceReportWd();
    // "生产测试" (factory mode): a test plan on the connected unit.
    void openProductionTestWd();

private slots:
    void on_btnTurnOnLd_clicked();
    void on_btnTurnOffLd_clicked();
    void on_btnSetMaxDac_clicked();
    void on_btnSetMaxDacPlus_clicked();
    void on_btnSetMaxDacPlus_2_clicked();
    void on_horizontalSlider_PowerSet_sliderReleased();
    void on_horizontalSlider_PowerSet_valueChanged(int value);
    void on_btnLdTempThSet_clicked();
    void on_btn_SaveAutoCompensation_clicked();
    void on_btnShowSerialDialog_clicked();
    void on_btn_devSerialNumValue_clicked();
    void on_btnSoftReset_clicked();
    void on_btnZeroFrameNum_clicked();
    void on_btnSaveLdType_clicked();

private:
    void connectPortSignals();
    void connectCommandSignals();
    // Asks before breaking an open connection; true when the operator agrees.
    bool confirmDisconnect();
    void applyReadReply(quint16 word, const QByteArray &frame);
    void parseAllStatus(const QByteArray &frame);
    void emitPidReply(const QByteArray &frame);
    void refreshLamps();
    void refreshStatusView();
    // The fan window shows the speeds the status reports while they are live.
    void showFanSpeeds();
    // Shows whether the display is live: the values and lamps of a device
    // that is not answering through an open port are drawn faded.
    void setStatusLive(bool live);
    // The port closed, for whatever reason: nothing shown is live any more.
    void notePortClosed();
    void showWaitingForPort();
    void decodeAlarmBits();
    static QString formatSerialNumber(const QByteArray &record);
    void appendLog(const QString &message);
    // Keeps the log's port in step with the port's open, close and loss.
    void connectLogPort();
    // The event log hears what the log and the status display hear, from
    // the same signals; connected before the window's own handlers.
    void connectEvents();
    // Asks for the PID parameters and waits for their reply, briefly.
    void refreshPidReply();
    // Tells the trend window how each poll ended (see statusSampled).
    void notePollSent();
    void noteReadResult(quint8 result, const QByteArray &frame);
    // Hides (user mode) or shows (factory mode) the factory-only controls.
    void applyUserMode();
    // True, with a log line, when the box shows a value cut while typing.
    bool refuseCutValue(QAbstractSpinBox *box, const QString &what);
    // The settings controls take the device's values (see SettingFollower).
    void followDeviceSettings();
    void forgetDeviceSettings();
    // Buttons and value fields get room for their whole text in the
    // window's font (again whenever the font changes).
    void fitLongValueFields();

    Ui::AdminWd *ui;
    int userMode;
    CommSet *commSetWd;
    PidAdjust *pidAdjustWd;
    serialNumInput *serialNumInputWd;
    TecDebug *tecDebugWd;
    fan_debug *fanDebugWd;
    UpdateWidget *updateWd;
    DialogPasswordWd *passwordWd;
    TrendWd *trendWd = nullptr;
    LogPane *logPane = nullptr;
    EventLog *events = nullptr;
    EventWd *eventWd = nullptr;
    ServiceReportDialog *reportDialog = nullptr;
    // The last PID reply (elements 2-4: the coefficients times 10000).
    QVector<quint32> lastPidReply;
    bool factoryShown = false;
    StatusPollReplies pollReplies; // which read result answers the status poll
    QTimer *pollTimer;
    PlCommand *plCommand;
    quint64 commErrLimit;
    // Open, closed, lost, silent: the port as the executor reported it.
    DevicePort *devicePort = nullptr;
    InputCutGuard *cutGuard = nullptr;
    QAction *leaveFactoryAction = nullptr;
    QAction *productionTestAction = nullptr;
    ProductionTestWd *productionTestWd = nullptr;
    // The TEC slider drag being logged: its writes not answered yet, those
    // answered, how many failed, and the last one.
    struct TecDrag {
        int pending = 0;
        int sent = 0;
        int failed = 0;
        quint8 lastResult = 0;
        QByteArray lastFrame;
    } tecDrag;
    // The display shows what the device is answering now: the port is open
    // and a status reply has arrived since it opened.
    bool statusLive = false;
    // Set when the link reopens after an update: the first status reply
    // tells which firmware the device now runs.
    bool reportFirmwareAfterOpen = false;
    DevStatusCache devStat;
    QByteArray serialNumToWrite;
    SettingFollower maxDacFollower;
    SettingFollower powerFollower;
    SettingFollower thresholdFollower;

    // Poll ticks counted while the PID window is shown; every second one
    // also queries the PID parameters.
    static int pidPollPhase;
};

#endif
