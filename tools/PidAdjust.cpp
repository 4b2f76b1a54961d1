#include "PidAdjust.h"
#include "LogPane.h"
#include "PidMath.h"
#include "ui_PidAdjust.h"

#include <QDateTime>
#include <QStatusBar>

PidAdjust::PidAdjust(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::PidAdjust)
{
    ui->setupUi(this);
    LogPane::limitLines(ui->textEditShowTemp);
    for (QLineEdit *field : coefficientFields())
        connect(field, &QLineEdit::textEdited, this, [this, field] { markRefused(field, false); });
}

QList<QLineEdit *> PidAdjust::coefficientFields() const
{
    return {ui->lineEditKP, ui->lineEditKI, ui->lineEditKD};
}

void PidAdjust::markRefused(QLineEdit *field, bool refused)
{
    // The property drives the red frame; the tool tip says why.
    field->setProperty("refused", refused);
    field->setStyleSheet(refused ? QStringLiteral("QLineEdit { border: 2px solid #d01010; }") : QString());
    field->setToolTip(refused ? tr("不是数字，未发送") : QString());
}

PidAdjust::~PidAdjust()
{
    delete ui;
}

void PidAdjust::on_btnSetPid_clicked()
{
    // A typo such as "1,5" would otherwise reach the temperature controller
    // as 0; nothing is sent until every field holds a number.
    static const char *const names[] = {"KP", "KI", "KD"};
    QStringList refused;
    const QList<QLineEdit *> fields = coefficientFields();
    for (int i = 0; i < fields.size(); ++i) {
        const bool bad = !PidMath::isCoefficientText(fields[i]->text());
        markRefused(fields[i], bad);
        if (bad)
            refused << QLatin1String(names[i]);
    }
    if (!refused.isEmpty()) {
        statusBar()->showMessage(tr("%1 不是数字，未发送").arg(refused.join(QStringLiteral("、"))));
        return;
    }
    statusBar()->clearMessage();
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
    ui->chartViewPid->addSample(QDateTime::currentMSecsSinceEpoch(), static_cast<qint32>(arrData[0]), arrData[1]);
}

void PidAdjust::on_btnReset_clicked()
{
    // The shown spreads stay until the next sample, which starts afresh.
    tempSpread.reset();
    pwmSpread.reset();
    ui->chartViewPid->markReset(QDateTime::currentMSecsSinceEpoch());
}
