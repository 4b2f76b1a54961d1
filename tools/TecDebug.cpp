#include "TecDebug.h"
#include "CommandCatalogue.h"
#include "ui_TecDebug.h"

TecDebug::TecDebug(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::TecDebug)
{
    ui->setupUi(this);
    // The DAC values the device may be sent, as every path checks them.
    ui->tecPowerSet->setMaximum(int(CommandCatalogue::row(CommandWord::TecPowerDac).max));
}

TecDebug::~TecDebug()
{
    delete ui;
}

void TecDebug::on_btnTurnOnTec_clicked()
{
    emit turnOnOff(1);
}

void TecDebug::on_btnTurnOffTec_clicked()
{
    emit turnOnOff(0);
    // Moving the slider back sends DAC 0 through the value-changed slot,
    // but only if the value actually changes.
    ui->tecPowerSet->setValue(0);
}

void TecDebug::on_tecPowerSet_valueChanged(int value)
{
    ui->tecPowerVal->setText(QString::number(value));
    emit setTecPowerDac(static_cast<quint16>(ui->tecPowerSet->value()));
}

void TecDebug::on_tecPowerSet_sliderReleased()
{
    // Every value was already sent while the slider moved.
}

void TecDebug::on_btnAutoTecOn_clicked()
{
    emit switchAutoTec(1);
}

void TecDebug::on_btnAtutoTecOff_clicked()
{
    emit switchAutoTec(0);
}
