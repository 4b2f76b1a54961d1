#ifndef KORVEX_TECDEBUG_H
#define KORVEX_TECDEBUG_H

#include <QMainWindow>

namespace Ui {
class TecDebug;
}

// Factory window that drives the device's TEC by hand. Every action leaves as
// one signal with a plain value; nothing comes back to this window.
class TecDebug : public QMainWindow
{
    Q_OBJECT

public:
    explicit TecDebug(QWidget *parent = nullptr);
    ~TecDebug() override;

signals:
    void turnOnOff(quint8 onOff);
    void setTecPowerDac(quint16 dacVal);
    void switchAutoTec(quint8 onOff);

private slots:
    void on_btnTurnOnTec_clicked();
    void on_btnTurnOffTec_clicked();
    void on_tecPowerSet_valueChanged(int value);
    void on_tecPowerSet_sliderReleased();
    void on_btnAutoTecOn_clicked();
    void on_btnAtutoTecOff_clicked();

private:
    Ui::TecDebug *ui;
};

#endif
