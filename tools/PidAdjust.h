#ifndef KORVEX_PIDADJUST_H
#define KORVEX_PIDADJUST_H

#include "SpreadTracker.h"

#include <QList>
#include <QMainWindow>
#include <QVector>

class QLabel;
class QLineEdit;
class QTimer;

namespace Ui {
class PidAdjust;
}

// Factory window: sends typed PID coefficients and shows the device's PID
// status samples with the spread of temperature and PWM since the last reset.
// The sample list says what its columns are, and the window says so when no
// sample has come for a while.
class PidAdjust : public QMainWindow
{
    Q_OBJECT

public:
    explicit PidAdjust(QWidget *parent = nullptr);
    ~PidAdjust() override;

    // How long the window waits for a sample before it says none comes.
    static constexpr int SampleWaitMs = 3000;

signals:
    void setPidSignal(QVector<quint32> arr);

public slots:
    void updateShowText(QVector<quint32> arrData);

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private slots:
    void on_btnSetPid_clicked();
    void on_btnReset_clicked();

private:
    QList<QLineEdit *> coefficientFields() const;
    // An empty why clears the mark.
    void markRefused(QLineEdit *field, const QString &why);
    // Room for the whole of each value, in the window's font.
    void fitFields();
    // Empty coefficient fields take the device's values from a status sample.
    void fillEmptyCoefficients(const QVector<quint32> &status);

    void showSampleState(bool coming);

    Ui::PidAdjust *ui;
    QLabel *sampleState = nullptr;
    QTimer *sampleWait = nullptr;
    TempSpreadTracker tempSpread{TempResetMarker};
    PwmSpreadTracker pwmSpread{PwmResetMarker};
};

#endif
