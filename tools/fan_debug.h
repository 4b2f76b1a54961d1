#ifndef KORVEX_FAN_DEBUG_H
#define KORVEX_FAN_DEBUG_H

#include <QByteArray>
#include <QMainWindow>
#include <QStringList>

namespace Ui {
class fan_debug;
}

// Factory window that drives the device's fans by hand: automatic control on
// or off, or a PWM value from the slider, each as one three-byte fan command.
// Its state line says what was last commanded (automatic or manual drive,
// the PWM sent and its share of full drive) and the fan speeds the status
// reports.
class fan_debug : public QMainWindow
{
    Q_OBJECT

public:
    explicit fan_debug(QWidget *parent = nullptr);
    ~fan_debug() override;

public slots:
    // The three fan speeds as the main window shows them, or none when not live.
    void showFanSpeeds(const QStringList &speeds);

signals:
    void setFanAutoPwm(QByteArray arr);

private slots:
    void on_btnAutoFanOn_clicked();
    void on_btnAtutoFanOff_clicked();
    void on_fanPwmSetSlider_valueChanged(int value);

private:
    void showState();

    Ui::fan_debug *ui;
    // -1: not commanded since the program started.
    int commandedAuto = -1;
    int sentPwm = -1;
    QStringList fanSpeeds;
};

#endif
