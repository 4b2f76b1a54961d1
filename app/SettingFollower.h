#ifndef KORVEX_SETTINGFOLLOWER_H
#define KORVEX_SETTINGFOLLOWER_H

#include <optional>

// One setting control's link to the device's value: the control takes the
// device's value when the device first reports it and whenever it reports a
// different one. A value the operator is still typing therefore stays until
// the device's own value changes, and steps (DAC+/DAC-) start from the
// device's value rather than from the control's start value.
class SettingFollower
{
public:
    // True when deviceValue is new to the control (it should be shown);
    // remembers it either way.
    bool changed(int deviceValue)
    {
        if (last && *last == deviceValue)
            return false;
        last = deviceValue;
        return true;
    }
    // A newly opened device is followed afresh, even with the same values.
    void forget() { last.reset(); }

private:
    std::optional<int> last;
};

#endif
