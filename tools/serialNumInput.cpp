#include "serialNumInput.h"
#include "ui_serialNumInput.h"

#include <QRegExp>
#include <QRegExpValidator>

serialNumInput::serialNumInput(QWidget *parent) : QDialog(parent), ui(new Ui::serialNumInput)
{
    ui->setupUi(this);
    digitsOnly = new QRegExpValidator(QRegExp(QStringLiteral("[0-9]+$")), this);
    ui->laserType->setValidator(digitsOnly);
    ui->laserDayNum->setValidator(digitsOnly);
    ui->dateEdit->setDate(QDate::currentDate());
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
