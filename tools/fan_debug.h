#ifndef KORVEX_FAN_DEBUG_H
#define KORVEX_FAN_DEBUG_H

#include <QByteArray>
#include <QMainWindow>

namespace Ui {
class fan_debug;
}

// Factory window that drives the device's fans by hand: automatic control on
// or off, or a PWM value from the slider, each as one three-byte fan command.
class fan_debug : public QMainWindow
{
    Q_OBJECT

public:
    explicit fan_debug(QWidget *parent = nullptr);
    ~fan_debug() override;

signals:
    void setFanAutoPwm(QByteArray arr);

private slots:
    void on_btnAutoFanOn_clicked();
    void on_btnAtutoFanOff_clicked();
    void on_fanPwmSetSlider_valueChanged(int value);

private:
    Ui::fan_debug *ui;
};

#endif
