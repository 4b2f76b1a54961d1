#ifndef KORVEX_UPDATEWIDGET_H
#define KORVEX_UPDATEWIDGET_H

#include "YmodemFileReceive.h"
#include "YmodemFileTransmit.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QWidget>

namespace Ui {
class UpdateWidget;
}
class QPushButton;
class QSerialPort;

// The device update window: the operator picks a port and a baud rate, opens
// the port, and then sends a file (the firmware image) to the device or
// receives a file from it into a directory, both by YModem. The window's own
// port only proves that the chosen port can be opened; each transfer closes
// it and lets the sender or receiver open the port itself.
class UpdateWidget : public QWidget
{
    Q_OBJECT

public:
    explicit UpdateWidget(QWidget *parent = nullptr);
    ~UpdateWidget() override;

    // Names listed before the ports the system reported at construction.
    // The system never lists pseudo-terminals, so the demo and the tests
    // offer theirs this way; the program itself never calls it. Ignored
    // while the port is open.
    void setExtraPorts(const QStringList &names);
    // The port the device link last used, offered first.
    void setPreferredPort(const QString &name);
    // Lists the ports present now; a name the operator typed stays. Runs
    // whenever the window is shown and by the refresh button.
    void refreshPortList();

signals:
    // One line for the main window's log: how a transfer ended (file,
    // bytes, time, or the reason it failed).
    void transferLogLine(const QString &logLine);
    // After a send: the operator wants the device link back on this port.
    void reopenDevicePort(const QString &portName);

signals:
    // A transfer ended: sending the firmware file or receiving one, whether
    // it succeeded, and its outcome in words.
    void transferEnded(bool sending, QString file, bool ok, QString outcome);

private slots:
    void on_comButton_clicked();
    void on_transmitBrowse_clicked();
    void on_receiveBrowse_clicked();
    void on_transmitButton_clicked();
    void on_receiveButton_clicked();
    void transmitProgress(int progress);
    void receiveProgress(int progress);
    void transmitStatus(YmodemFileTransmit::Status status);
    void receiveStatus(YmodemFileReceive::Status status);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;


    // The desktop's choosers; an empty text when the operator cancels.
    // Tests answer them without a native dialog.
    virtual QString chooseSourceFile();
    virtual QString chooseTargetDirectory();

private:
    void openPort();
    void closePort();
    void fillPortList();
    QString transferSummary(bool sent, bool finished, const QString &reason) const;
    void offerDeviceReopen();
    void giveBackPort();
    int chosenBaud() const;
    // A warning-style box with a single "关闭" button, for successes too.
    void showMessage(const QString &title, const QString &text);

    Ui::UpdateWidget *ui;
    QSerialPort *serialPort;
    YmodemFileTransmit *transmitter;
    YmodemFileReceive *receiver;
    bool transmitActive;
    bool receiveActive;
    bool portOpen;
    QStringList systemPorts;
    QStringList extraPorts;
    QPushButton *reopenButton;
    QString preferredPort;
    QString typedPort;
    QString transferFile;
    QElapsedTimer transferClock;
};

#endif
