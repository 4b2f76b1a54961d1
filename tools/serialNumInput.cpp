#include "serialNumInput.h"
#include "ui_serialNumInput.h"

#include <QPushButton>
#include <QRegExp>
#include <QRegExpValidator>

serialNumInput::serialNumInput(QWidget *parent) : QDialog(parent), ui(new Ui::serialNumInput)
{
    ui->setupUi(this);
    digitsOnly = new QRegExpValidator(QRegExp(QStringLiteral("[0-9]+$")), this);
    ui->laserType->setValidator(digitsOnly);
    ui->laserDayNum->setValidator(digitsOnly);
    ui->dateEdit->setDate(QDate::currentDate());
    // Enter confirms as "确定" does; it must never reach the today button,
    // which would silently replace the chosen date of manufacture.
    ui->btnCurrentDate->setAutoDefault(false);
    ui->btnOk->setDefault(true);
}

serialNumInput::~serialNumInput()
{
    delete ui;
}

QByteArray serialNumInput::composeRecord(quint32 model, const QDate &date, quint32 dayNumber)
{
    QByteArray r;
    r.append(char((model >> 16) & 0xFF));
    r.append(char((model >> 8) & 0xFF));
    r.append(char(model & 0xFF));
    r.append(char((date.year() + 48) % 256));
    r.append(char(date.month()));
    r.append(char(date.day()));
    r.append(char((dayNumber >> 8) & 0xFF));
    r.append(char(dayNumber & 0xFF));
    return r;
}

void serialNumInput::showEvent(QShowEvent *event)
{
    // At 310 pixels and the main window's 12-point font the date field would
    // keep only "2026/1". The today button gives up its padding beyond its
    // text (its text stays whole), so the full date fits beside it.
    QPushButton *today = ui->btnCurrentDate;
    today->setMinimumWidth(today->fontMetrics().horizontalAdvance(today->text()) + 6);
    ui->dateEdit->setMinimumWidth(ui->dateEdit->sizeHint().width());
    QDialog::showEvent(event);
}

void serialNumInput::on_btnOk_clicked()
{
    const QDate date = ui->dateEdit->date();
    // An empty field parses as 0; the validator lets nothing but digits in.
    const quint32 model = ui->laserType->text().toUInt(nullptr, 10);
    const quint32 dayNumber = ui->laserDayNum->text().toUInt(nullptr, 10);
    serialNumData = composeRecord(model, date, dayNumber);
    emit sendSerialNum(serialNumData);
    hide();
    close();
}

void serialNumInput::on_btnCurrentDate_clicked()
{
    ui->dateEdit->setDate(QDate::currentDate());
}

void serialNumInput::on_btnCancel_clicked()
{
    hide();
    close();
}
