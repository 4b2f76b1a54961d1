#ifndef KORVEX_DEVSTATUSCACHE_H
#define KORVEX_DEVSTATUSCACHE_H

#include <QByteArray>
#include <QtGlobal>

// One bit per field of the data display, in the order the display lists
// them: which fields a reply (or a write the device accepted) has filled.
namespace DevField {
enum : quint32 {
    Firmware = 1u << 0,
    PowerPercent = 1u << 1,
    TempThreshold = 1u << 2,
    RxFrames = 1u << 3,
    TxFrames = 1u << 4,
    SerialNum = 1u << 5,
    RunTime = 1u << 6,
    Compensation = 1u << 7,
    FanSpeed1 = 1u << 8,
    FanSpeed2 = 1u << 9,
    FanSpeed3 = 1u << 10,
    LdCurrent = 1u << 11,
    TecCurrent = 1u << 12,
    LdTemp = 1u << 13,
    LdTemp2 = 1u << 14,
    MaxDac = 1u << 15,
    McuTemp = 1u << 16,
    EnvTemp = 1u << 17,
    LdType = 1u << 18,
    All = (1u << 19) - 1,
};
} // namespace DevField

// The main window's picture of the device: filled from status replies and
// from the values of successful writes, drawn as fields and lamps.
// Temperatures are in tenths of a degree Celsius, currents in mA.
struct DevStatusCache
{
    quint8 ldStatBits = 0;   // bit 0: laser source on
    quint8 alarmBits = 0;    // bit 0 temperature, bits 1-3 fans 1-3
    bool ldOn = false;
    bool commError = false;  // link fault: too many failed exchanges in a row
    bool tempAlarm = false;
    bool fan1Alarm = false;
    bool fan2Alarm = false;
    bool fan3Alarm = false;
    quint8 fwMajor = 0;
    quint8 fwMinor = 0;
    quint16 powerPercent = 0;
    qint16 tempThreshold = 0;
    quint32 devRxFrames = 0;
    quint32 devTxFrames = 0;
    QByteArray serialNum;    // 8-byte record as read
    quint32 runSeconds = 0;
    quint32 compensationHours = 0;
    quint16 fanSpeed1 = 0;
    quint16 fanSpeed2 = 0;
    quint16 fanSpeed3 = 0;
    quint16 ldCurrent = 0;
    quint16 tecCurrentMa = 0;
    qint16 ldTemp = 0;
    qint16 ldTemp2 = 0;
    quint16 maxDac = 0;
    qint16 mcuTemp = 0;
    qint16 envTemp = 0;
    quint32 ldType = 0;
    // DevField bits of the values the device has reported; the others are
    // only the zeros of the start and are not shown.
    quint32 reportedFields = 0;
};

#endif
