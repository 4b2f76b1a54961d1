#ifndef KORVEX_DIALOGPASSWORDWD_H
#define KORVEX_DIALOGPASSWORDWD_H

#include <QDialog>

namespace Ui {
class DialogPasswordWd;
}

// Asks for the factory password. It checks nothing itself: the typed text
// goes to the main window as it is.
class DialogPasswordWd : public QDialog
{
    Q_OBJECT

public:
    explicit DialogPasswordWd(QWidget *parent = nullptr);
    ~DialogPasswordWd() override;

signals:
    void sendPasswordStr(QString str);

private slots:
    void on_btnConfirm_clicked();
    void on_btnCancel_clicked();

private:
    Ui::DialogPasswordWd *ui;
};

#endif
