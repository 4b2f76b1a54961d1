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
    if (!typed.isEmpty())
        emit sendPasswordStr(typed);
    ui->lineEdit->clear();
    close();
}

void DialogPasswordWd::on_btnCancel_clicked()
{
    ui->lineEdit->clear();
    close();
}
