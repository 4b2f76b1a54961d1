#include "PidAdjust.h"
#include "PidMath.h"
#include "ui_PidAdjust.h"

PidAdjust::PidAdjust(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::PidAdjust)
{
    ui->setupUi(this);
}

PidAdjust::~PidAdjust()
{
    delete ui;
}

void PidAdjust::on_btnSetPid_clicked()
{
    emit setPidSignal(PidMath::coefficientVector(ui->lineEditKP->text(), ui->lineEditKI->text(),
                                                 ui->lineEditKD->text()));
}

void PidAdjust::updateShowText(QVector<quint32> arrData)
{
    // A short reply carries no complete sample; it must not be read past its end.
    if (arrData.size() < PidMath::kStatusElements)
        return;
    tempSpread.add(static_cast<qint32>(arrData[0]));
    pwmSpread.add(arrData[1]);
    ui->textEditShowTemp->append(PidMath::statusLine(arrData));
    ui->lineEditTempMinus->setText(QString::number(tempSpread.spread()));
    ui->lineEditPwmMinus->setText(QString::number(pwmSpread.spread()));
}

void PidAdjust::on_btnReset_clicked()
{
    // The shown spreads stay until the next sample, which starts afresh.
    tempSpread.reset();
    pwmSpread.reset();
}
