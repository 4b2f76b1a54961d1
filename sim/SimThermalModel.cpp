#include "SimThermalModel.h"

#include <algorithm>
#include <cmath>

namespace {

// Share of the way a first-order value moves toward its target in dt.
double follow(double dt, double tau)
{
    return 1.0 - std::exp(-dt / tau);
}

constexpr double MaxDacValue = 4095.0;
constexpr double TecTarget = 25.0;

} // namespace

double SimThermalModel::ratedCurrent(const SimState &s) const
{
    static constexpr double Rated[3] = {8000.0, 10000.0, 15000.0};
    return (s.ldType < 3 ? Rated[s.ldType] : Rated[0]) * modelParameters.currentScale;
}

int SimThermalModel::fanPwmCommand(const SimState &s)
{
    if (!s.fanAuto)
        return s.fanPwm;
    // Automatic control: idle at 30 %, full speed from 45 degC on.
    const double pwm = 300.0 + (s.ldTemp - 30.0) * 700.0 / 15.0;
    return int(std::clamp(std::lround(pwm), 300L, 1000L));
}

void SimThermalModel::step(SimState &s, double dt) const
{
    // The room is never quite still: a slow swing of a few tenths of a
    // degree keeps every temperature, and the automatic fans, alive.
    s.envTemp = s.ambient + 0.3 * std::sin(2.0 * M_PI * double(s.runMs % 600000) / 600000.0);

    const double targetCurrent = s.laserOn ? ratedCurrent(s) * s.power / 1000.0 * s.maxDac / MaxDacValue : 0.0;
    s.ldCurrent += (targetCurrent - s.ldCurrent) * follow(dt, 0.2);

    const int pwm = fanPwmCommand(s);
    double airflow = 0;
    for (int i = 0; i < SimState::FanCount; ++i) {
        const double target = pwm * FanFullRpm / 1000.0 * FanSpread[i];
        const double reached = s.fanStuck[i] ? 0.0 : target;
        s.fanRpm[i] += (reached - s.fanRpm[i]) * follow(dt, 1.0);
        // A fan that should turn but stays far below its speed is alarmed
        // once it had time to spin up.
        if (pwm > 0 && s.fanRpm[i] < 0.25 * target)
            s.fanStallMs[i] += dt * 1000.0;
        else
            s.fanStallMs[i] = 0;
        airflow += s.fanRpm[i] / FanFullRpm / SimState::FanCount;
    }

    double tecDrive = 0;
    if (s.tecOn)
        tecDrive = s.tecAuto ? std::clamp((s.ldTemp - TecTarget) / 3.0, 0.0, 1.0) : double(s.tecDac) / MaxTecDac;
    s.tecCurrent += (tecDrive * TecFullCurrent - s.tecCurrent) * follow(dt, 0.3);

    const double heat = s.ldCurrent / 15000.0;
    const double tecCooling = modelParameters.tecCoolingC * s.tecCurrent / TecFullCurrent;
    const double ldTarget = s.envTemp + 40.0 * heat / (1.0 + 1.5 * airflow) - tecCooling;
    s.ldTemp += (ldTarget - s.ldTemp) * follow(dt, modelParameters.laserTauS);

    // Second sensor on the heat sink: carries part of the laser's heat and
    // the hot side of the TEC, more slowly.
    const double sinkTarget = s.envTemp + 0.4 * (s.ldTemp - s.envTemp) + 3.0 * s.tecCurrent / TecFullCurrent;
    s.ldTemp2 += (sinkTarget - s.ldTemp2) * follow(dt, 15.0);

    const double mcuTarget = s.envTemp + 8.0 + 3.0 * heat;
    s.mcuTemp += (mcuTarget - s.mcuTemp) * follow(dt, 20.0);
}
