#include "fan_debug.h"
#include "CommandCatalogue.h"
#include "FanCommand.h"
#include "ui_fan_debug.h"

fan_debug::fan_debug(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::fan_debug)
{
    ui->setupUi(this);
    // The PWM values the device may be sent, as every path checks them.
    ui->fanPwmSetSlider->setMaximum(int(CommandCatalogue::row(CommandWord::FanDebug).max));
}

fan_debug::~fan_debug()
{
    delete ui;
}

void fan_debug::on_btnAutoFanOn_clicked()
{
    emit setFanAutoPwm(FanCommand::automatic(true));
}

void fan_debug::on_btnAtutoFanOff_clicked()
{
    emit setFanAutoPwm(FanCommand::automatic(false));
}

void fan_debug::on_fanPwmSetSlider_valueChanged(int value)
{
    ui->fanPwmVal->setText(QString::number(value));
    emit setFanAutoPwm(FanCommand::pwm(static_cast<quint16>(value)));
}
