#ifndef KORVEX_SIMSTATE_H
#define KORVEX_SIMSTATE_H

#include <QByteArray>

// Everything the simulated device knows. Temperatures in degrees Celsius,
// currents in mA.
struct SimState {
    static constexpr int FanCount = 3;

    quint8 fwMajor = 1;
    quint8 fwMinor = 5;
    bool laserOn = false;
    quint16 power = 0;            // 0..1000
    qint16 threshold = 500;       // 0.1 degC
    quint32 rxFrames = 0;
    quint32 txFrames = 0;
    QByteArray serial;            // always 8 bytes
    quint64 runMs = 0;            // counts since power-up, kept over a soft reset
    quint32 compensationHours = 0;
    quint16 maxDac = 3000;        // in use
    quint16 savedMaxDac = 3000;   // survives a soft reset
    quint8 ldType = 0;
    bool tecOn = true;
    bool tecAuto = true;
    quint16 tecDac = 0;           // manual TEC drive 0..4095
    bool fanAuto = true;
    quint16 fanPwm = 0;           // manual fan PWM 0..1000
    quint32 kp = 15000, ki = 1000, kd = 0; // scaled by 10000
    double ldCurrent = 0;
    double tecCurrent = 0;
    double fanRpm[FanCount] = {0, 0, 0};
    double fanStallMs[FanCount] = {0, 0, 0};
    bool fanStuck[FanCount] = {false, false, false};
    double ldTemp = 25.0;
    double ldTemp2 = 25.0;
    double mcuTemp = 33.0;
    double ambient = 25.0;        // mean room temperature
    double envTemp = 25.0;        // room temperature now: drifts gently around the mean
    };

#endif
