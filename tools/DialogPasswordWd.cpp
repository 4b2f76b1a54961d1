#include "DialogPasswordWd.h"
#include "ui_DialogPasswordWd.h"

DialogPasswordWd::DialogPasswordWd(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::DialogPasswordWd)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

DialogPasswordWd::~DialogPasswordWd()
{
    delete ui;
}

void DialogPasswordWd::on_btnConfirm_clicked()
{
    const QString typed = ui->lineEdit->text();
    ui->labelWrongPassword->clear();
    wrongPassword = false;
    // The main window's answer comes back during the emission (same thread).
    if (!typed.isEmpty())
        emit sendPasswordStr(typed);
    ui->lineEdit->clear();
    if (!wrongPassword)
        close();
}

void DialogPasswordWd::on_btnCancel_clicked()
{
    ui->lineEdit->clear();
    ui->labelWrongPassword->clear();
    close();
}

void DialogPasswordWd::showWrongPassword()
{
    wrongPassword = true;
    ui->labelWrongPassword->setText(tr("密码错误"));
    ui->lineEdit->setFocus();
}

void DialogPasswordWd::showEvent(QShowEvent *event)
{
    // A refusal belongs to the try it answered, not to the next opening.
    ui->labelWrongPassword->clear();
    QDialog::showEvent(event);
}
