#include "PidAdjust.h"
#include "LogPane.h"
#include "PidMath.h"
#include "ui_PidAdjust.h"

#include <QDateTime>
#include <QEvent>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

PidAdjust::PidAdjust(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::PidAdjust)
{
    ui->setupUi(this);
    LogPane::limitLines(ui->textEditShowTemp);
    for (QLineEdit *field : coefficientFields())
        connect(field, &QLineEdit::textEdited, this, [this, field] { markRefused(field, QString()); });
    fitFields();

    // Under the sample list, which keeps its place: what its columns are,
    // and whether samples come.
    auto *columns = new QLabel(tr("每行一个样本：温度（0.1 ℃），PWM，KP，KI，KD"), ui->centralwidget);
    columns->setObjectName(QStringLiteral("labelPidColumns"));
    ui->textEditShowTemp->setToolTip(columns->text());
    sampleState = new QLabel(ui->centralwidget);
    sampleState->setObjectName(QStringLiteral("labelPidSamples"));
    sampleState->setWordWrap(true);
    ui->gridLayout->addWidget(columns, 5, 0, 1, 5);
    ui->gridLayout->addWidget(sampleState, 6, 0, 1, 5);
    sampleWait = new QTimer(this);
    sampleWait->setSingleShot(true);
    sampleWait->setInterval(SampleWaitMs);
    connect(sampleWait, &QTimer::timeout, this, [this] { showSampleState(false); });
    showSampleState(true);
}

void PidAdjust::showEvent(QShowEvent *event)
{
    sampleWait->start();
    QMainWindow::showEvent(event);
}

void PidAdjust::showSampleState(bool coming)
{
    sampleState->setText(coming ? QString()
                                : tr("%1 秒内没有收到PID样本：串口未打开或设备没有应答")
                                      .arg(SampleWaitMs / 1000));
    sampleState->setStyleSheet(coming ? QString() : QStringLiteral("color: #c00000;"));
    sampleState->setVisible(!coming);
}

void PidAdjust::changeEvent(QEvent *event)
{
    // The main window's style sheet sets this window's font when it is
    // polished: the fields grow with it.
    if (event->type() == QEvent::FontChange)
        fitFields();
    QMainWindow::changeEvent(event);
}

void PidAdjust::fitFields()
{
    // A coefficient as the device reports it and a spread of several
    // hundred show whole.
    const QFontMetrics metrics(ui->lineEditKP->font());
    const int padding = 2 * metrics.averageCharWidth();
    for (QLineEdit *field : coefficientFields())
        field->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("-1000.0000")) + padding);
    for (QLineEdit *spread : {ui->lineEditTempMinus, ui->lineEditPwmMinus})
        spread->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("1000000")) + padding);
}

QList<QLineEdit *> PidAdjust::coefficientFields() const
{
    return {ui->lineEditKP, ui->lineEditKI, ui->lineEditKD};
}

void PidAdjust::markRefused(QLineEdit *field, const QString &why)
{
    // The property drives the red frame; the tool tip says why.
    const bool refused = !why.isEmpty();
    field->setProperty("refused", refused);
    field->setStyleSheet(refused ? QStringLiteral("QLineEdit { border: 2px solid #d01010; }") : QString());
    field->setToolTip(why);
}

PidAdjust::~PidAdjust()
{
    delete ui;
}

void PidAdjust::on_btnSetPid_clicked()
{
    // An empty field or a typo such as "1,5" would otherwise reach the
    // temperature controller as 0 and switch the loop off; nothing is sent
    // until every field holds a number.
    static const char *const names[] = {"KP", "KI", "KD"};
    QStringList empty;
    QStringList notNumbers;
    const QList<QLineEdit *> fields = coefficientFields();
    for (int i = 0; i < fields.size(); ++i) {
        const QString text = fields[i]->text();
        QString why;
        if (text.trimmed().isEmpty()) {
            why = tr("为空，未发送");
            empty << QLatin1String(names[i]);
        } else if (!PidMath::isCoefficientText(text)) {
            why = tr("不是数字，未发送");
            notNumbers << QLatin1String(names[i]);
        }
        markRefused(fields[i], why);
    }
    QStringList reasons;
    if (!empty.isEmpty())
        reasons << tr("%1 为空").arg(empty.join(QStringLiteral("、")));
    if (!notNumbers.isEmpty())
        reasons << tr("%1 不是数字").arg(notNumbers.join(QStringLiteral("、")));
    if (!reasons.isEmpty()) {
        statusBar()->showMessage(tr("%1，未发送").arg(reasons.join(tr("，"))));
        return;
    }
    statusBar()->clearMessage();
    emit setPidSignal(PidMath::coefficientVector(ui->lineEditKP->text(), ui->lineEditKI->text(),
                                                 ui->lineEditKD->text()));
}

void PidAdjust::updateShowText(QVector<quint32> arrData)
{
    // A short reply carries no complete sample; it must not be read past its end.
    if (arrData.size() < PidMath::StatusElements)
        return;
    fillEmptyCoefficients(arrData);
    showSampleState(true);
    sampleWait->start();
    tempSpread.add(static_cast<qint32>(arrData[0]));
    pwmSpread.add(arrData[1]);
    ui->textEditShowTemp->append(PidMath::statusLine(arrData));
    ui->lineEditTempMinus->setText(QString::number(tempSpread.spread()));
    ui->lineEditPwmMinus->setText(QString::number(pwmSpread.spread()));
    ui->chartViewPid->addSample(QDateTime::currentMSecsSinceEpoch(), static_cast<qint32>(arrData[0]), arrData[1]);
}

void PidAdjust::fillEmptyCoefficients(const QVector<quint32> &status)
{
    // The device's own coefficients are the start for editing. A field the
    // operator has edited is left alone, even while it is empty.
    const QList<QLineEdit *> fields = coefficientFields();
    for (int i = 0; i < fields.size(); ++i) {
        if (fields[i]->text().isEmpty() && !fields[i]->isModified()) {
            fields[i]->setText(PidMath::coefficientText(status[PidMath::FirstCoefficient + i]));
            fields[i]->setCursorPosition(0); // the start of a long number shows
            markRefused(fields[i], QString());
        }
    }
}

void PidAdjust::on_btnReset_clicked()
{
    // The shown spreads stay until the next sample, which starts afresh.
    tempSpread.reset();
    pwmSpread.reset();
    ui->chartViewPid->markReset(QDateTime::currentMSecsSinceEpoch());
}
