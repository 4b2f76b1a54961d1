#ifndef KORVEX_SERIALNUMINPUT_H
#define KORVEX_SERIALNUMINPUT_H

#include <QByteArray>
#include <QDate>
#include <QDialog>

namespace Ui {
class serialNumInput;
}
class QRegExpValidator;

// Composes the device's 8-byte serial number record from laser model number,
// date of manufacture and number of the day, and hands it on with
// sendSerialNum. Writing it to the device is the main window's business.
class serialNumInput : public QDialog
{
    Q_OBJECT
public:
    explicit serialNumInput(QWidget *parent = nullptr);
    ~serialNumInput() override;

    // Model number (low 24 bits), year byte (year + 48) mod 256 (= year - 2000
    // for 2000..2255), month, day, number of the day (low 16 bits).
    static QByteArray composeRecord(quint32 model, const QDate &date, quint32 dayNumber);

protected:
    void showEvent(QShowEvent *event) override;

signals:
    void sendSerialNum(QByteArray arrData);

private slots:
    void on_btnOk_clicked();
    void on_btnCurrentDate_clicked();
    void on_btnCancel_clicked();

private:
    Ui::serialNumInput *ui;
    QRegExpValidator *digitsOnly;
    QByteArray serialNumData;
};

#endif
