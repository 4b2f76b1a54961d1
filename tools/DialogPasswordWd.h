#ifndef KORVEX_DIALOGPASSWORDWD_H
#define KORVEX_DIALOGPASSWORDWD_H

#include <QDialog>

namespace Ui {
class DialogPasswordWd;
}

// Asks for the factory password, masked as it is typed. It checks nothing
// itself: the typed text goes to the main window as it is, and the window
// calls showWrongPassword() while it handles a text that does not match.
class DialogPasswordWd : public QDialog
{
    Q_OBJECT

public:
    explicit DialogPasswordWd(QWidget *parent = nullptr);
    ~DialogPasswordWd() override;

public slots:
    // Keeps the dialog open, emptied, with "密码错误" for another try.
    void showWrongPassword();

signals:
    void sendPasswordStr(QString str);

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void on_btnConfirm_clicked();
    void on_btnCancel_clicked();

private:
    Ui::DialogPasswordWd *ui;
    bool wrongPassword = false;
};

#endif
