#ifndef KORVEX_SIMTHERMALMODEL_H
#define KORVEX_SIMTHERMALMODEL_H

#include "SimState.h"

// The physics of the simulated unit: laser current, TEC, fans and the
// temperatures they drive, each a first-order lag. A production line needs
// bad units as well as good ones, so the parts that differ from unit to unit
// are parameters: a weak TEC, a slow thermal path, a laser driver off its
// nominal current.
//
// With the laser off and the TEC under manual drive u (0..4095 counts) the
// laser temperature settles at ambient - tecCoolingC * u / 4095 with the time
// constant laserTauS (plus the TEC current's own short lag): a gain of
// -tecCoolingC / 4095 degC per count.
class SimThermalModel
{
public:
    struct Parameters {
        double tecCoolingC = 20.0;  // cooling at full TEC current, degC
        double laserTauS = 8.0;     // time constant of the laser mount
        double currentScale = 1.0;  // laser current as a share of the nominal
    };

    static constexpr int MaxTecDac = 4095;
    static constexpr double FanFullRpm = 6000.0;
    static constexpr double TecFullCurrent = 5000.0; // mA
    // Fans are not identical: each runs a little off the nominal speed.
    static constexpr double FanSpread[SimState::FanCount] = {1.00, 0.97, 1.03};

    Parameters &parameters() { return modelParameters; }
    const Parameters &parameters() const { return modelParameters; }

    // Degrees per TEC drive count with the laser off (negative: cooling).
    double tecGain() const { return -modelParameters.tecCoolingC / MaxTecDac; }

    // Lets dtSeconds pass for the unit in state s.
    void step(SimState &s, double dtSeconds) const;

    // PWM the fans are driven with now, 0..1000.
    static int fanPwmCommand(const SimState &s);
    // Laser current at full power and full DAC, mA.
    double ratedCurrent(const SimState &s) const;

private:
    Parameters modelParameters;
};

#endif
