#include "TecDebug.h"
#include "CommandCatalogue.h"
#include "ui_TecDebug.h"

#include <QLabel>

TecDebug::TecDebug(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::TecDebug)
{
    ui->setupUi(this);
    // The DAC values the device may be sent, as every path checks them.
    ui->tecPowerSet->setMaximum(int(CommandCatalogue::row(CommandWord::TecPowerDac).max));
    // The value box only shows the slider's value: it looks it.
    ui->tecPowerVal->setStyleSheet(QStringLiteral("QLineEdit { background: palette(window); }"));
    ui->tecPowerVal->setToolTip(tr("只读：由滑块设置（DAC计数）"));
    auto *state = new QLabel(ui->centralwidget);
    state->setObjectName(QStringLiteral("labelTecState"));
    state->setWordWrap(true);
    ui->gridLayout->addWidget(state, 3, 0, 1, 3);
    showState();
}

bool TecDebug::isDragging() const
{
    return ui->tecPowerSet->isSliderDown();
}

void TecDebug::showTecCurrent(const QString &text)
{
    if (text == tecCurrent)
        return;
    tecCurrent = text;
    showState();
}

void TecDebug::showState()
{
    const auto switchText = [this](int on, const char *onText, const char *offText) {
        return on < 0 ? tr("未发送") : on ? tr(onText) : tr(offText);
    };
    const int dac = ui->tecPowerSet->value();
    const int full = ui->tecPowerSet->maximum();
    ui->centralwidget->findChild<QLabel *>(QStringLiteral("labelTecState"))
        ->setText(tr("上次发送：TEC %1，%2\n驱动 %3 / %4（%5%）\n设备报告 TEC电流：%6")
                      .arg(switchText(commandedOn, QT_TR_NOOP("打开"), QT_TR_NOOP("关闭")),
                           switchText(commandedAuto, QT_TR_NOOP("自动控制"), QT_TR_NOOP("手动驱动")))
                      .arg(dac)
                      .arg(full)
                      .arg(full > 0 ? qRound(100.0 * dac / full) : 0)
                      .arg(tecCurrent.isEmpty() ? tr("无") : tecCurrent));
}

TecDebug::~TecDebug()
{
    delete ui;
}

void TecDebug::on_btnTurnOnTec_clicked()
{
    commandedOn = 1;
    showState();
    emit turnOnOff(1);
}

void TecDebug::on_btnTurnOffTec_clicked()
{
    commandedOn = 0;
    showState();
    emit turnOnOff(0);
    // Moving the slider back sends DAC 0 through the value-changed slot,
    // but only if the value actually changes.
    ui->tecPowerSet->setValue(0);
}

void TecDebug::on_tecPowerSet_valueChanged(int value)
{
    ui->tecPowerVal->setText(QString::number(value));
    showState();
    emit setTecPowerDac(static_cast<quint16>(ui->tecPowerSet->value()));
}

void TecDebug::on_tecPowerSet_sliderReleased()
{
    // Every value was already sent while the slider moved.
}

void TecDebug::on_btnAutoTecOn_clicked()
{
    commandedAuto = 1;
    showState();
    emit switchAutoTec(1);
}

void TecDebug::on_btnAtutoTecOff_clicked()
{
    commandedAuto = 0;
    showState();
    emit switchAutoTec(0);
}
