#include "fan_debug.h"
#include "CommandCatalogue.h"
#include "FanCommand.h"
#include "ui_fan_debug.h"

#include <QLabel>

fan_debug::fan_debug(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::fan_debug)
{
    ui->setupUi(this);
    // The PWM values the device may be sent, as every path checks them.
    ui->fanPwmSetSlider->setMaximum(int(CommandCatalogue::row(CommandWord::FanDebug).max));
    // The value box only shows the slider's value: it looks it.
    ui->fanPwmVal->setStyleSheet(QStringLiteral("QLineEdit { background: palette(window); }"));
    ui->fanPwmVal->setToolTip(tr("只读：由滑块设置（PWM）"));
    auto *state = new QLabel(ui->centralwidget);
    state->setObjectName(QStringLiteral("labelFanState"));
    state->setWordWrap(true);
    ui->gridLayout->addWidget(state, 2, 0, 1, 3);
    showState();
}

void fan_debug::showFanSpeeds(const QStringList &speeds)
{
    if (speeds == fanSpeeds)
        return;
    fanSpeeds = speeds;
    showState();
}

void fan_debug::showState()
{
    // A PWM value drives the fans by hand: automatic control is off then.
    const QString mode = commandedAuto < 0 ? tr("未发送") : commandedAuto ? tr("风扇自动控制") : tr("风扇手动驱动");
    const int full = ui->fanPwmSetSlider->maximum();
    const QString pwm = sentPwm < 0 ? tr("未发送")
                                    : tr("%1 / %2（%3%）").arg(sentPwm).arg(full).arg(full > 0 ? qRound(100.0 * sentPwm / full) : 0);
    const QString speeds = fanSpeeds.isEmpty() ? tr("无") : fanSpeeds.join(QStringLiteral(" / "));
    ui->centralwidget->findChild<QLabel *>(QStringLiteral("labelFanState"))
        ->setText(tr("上次发送：%1，PWM %2\n设备报告 风扇1/2/3转速：%3").arg(mode, pwm, speeds));
}

fan_debug::~fan_debug()
{
    delete ui;
}

void fan_debug::on_btnAutoFanOn_clicked()
{
    commandedAuto = 1;
    showState();
    emit setFanAutoPwm(FanCommand::automatic(true));
}

void fan_debug::on_btnAtutoFanOff_clicked()
{
    commandedAuto = 0;
    showState();
    emit setFanAutoPwm(FanCommand::automatic(false));
}

void fan_debug::on_fanPwmSetSlider_valueChanged(int value)
{
    ui->fanPwmVal->setText(QString::number(value));
    commandedAuto = 0;
    sentPwm = value;
    showState();
    emit setFanAutoPwm(FanCommand::pwm(static_cast<quint16>(value)));
}
