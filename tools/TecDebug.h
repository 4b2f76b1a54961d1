#ifndef KORVEX_TECDEBUG_H
#define KORVEX_TECDEBUG_H

#include <QMainWindow>

namespace Ui {
class TecDebug;
}

// Factory window that drives the device's TEC by hand. Every action leaves as
// one signal with a plain value. Its state line says what was last commanded
// (on or off, automatic or manual, the drive in counts and as a share of
// full drive) and the TEC current the status reports.
class TecDebug : public QMainWindow
{
    Q_OBJECT

public:
    explicit TecDebug(QWidget *parent = nullptr);
    ~TecDebug() override;

    // The slider is held: its values are sent as it moves, and the main
    // window writes one log line for the drag.
    bool isDragging() const;

public slots:
    // The TEC current as the main window shows it, or empty when not live.
    void showTecCurrent(const QString &text);

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
    void showState();

    Ui::TecDebug *ui;
    // -1: not commanded since the program started.
    int commandedOn = -1;
    int commandedAuto = -1;
    QString tecCurrent;
};

#endif
