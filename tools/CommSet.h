#ifndef KORVEX_COMMSET_H
#define KORVEX_COMMSET_H

#include <QDialog>
#include <QStringList>
#include <QVector>

namespace Ui {
class CommSet;
}

// The serial settings dialog: lists the free ports, lets the operator pick
// port, baud rate, stop bits and parity, and hands the four texts on with
// sendCommInfo. It never opens a port itself. The last port the window
// opened, with its line settings, is chosen when the list is built.
class CommSet : public QDialog
{
    Q_OBJECT
public:
    explicit CommSet(QWidget *parent = nullptr);
    ~CommSet() override;

    // Names listed before the enumerated ports on every refresh. The system
    // enumeration never reports pseudo-terminals, so the demo and the tests
    // offer theirs this way; the program itself never calls it.
    void setExtraPorts(const QStringList &names);
    // Rebuilds the port list (also done on every showing).
    void refreshPortList();

signals:
    void sendCommInfo(QVector<QString> infoQString);

private slots:
    void on_checkSerial_clicked();
    void on_pushButton_clicked();
    void on_switchSerial_clicked();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Chooses the port and line settings of the last port the window opened.
    void preselectLastPort();
    // Widens the dialog for a port name longer than its form allows.
    void fitLongestName();

    Ui::CommSet *ui;
    QStringList extraPorts;
    QSize formMaximum;
};

#endif
