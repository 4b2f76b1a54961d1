#include "SimDevice.h"

#include "SimThermalModel.h"

#include "CommandCatalogue.h"
#include "Protocol.h"
#include "StatusSchema.h"

#include <algorithm>
#include <cmath>

namespace {

quint16 be16(const QByteArray &d, int at)
{
    return quint16((quint8(d[at]) << 8) | quint8(d[at + 1]));
}

quint32 be32(const QByteArray &d, int at)
{
    return (quint32(quint8(d[at])) << 24) | (quint32(quint8(d[at + 1])) << 16)
        | (quint32(quint8(d[at + 2])) << 8) | quint32(quint8(d[at + 3]));
}

void put16(QByteArray &d, quint16 v)
{
    d.append(char(v >> 8));
    d.append(char(v & 0xFF));
}

void put32(QByteArray &d, quint32 v)
{
    put16(d, quint16(v >> 16));
    put16(d, quint16(v & 0xFFFF));
}

// Rounds a physical value to the wire unit, clamped into the field's range.
quint16 toU16(double v)
{
    return quint16(std::clamp(std::lround(v), 0L, 65535L));
}

qint16 tenths(double celsius)
{
    return qint16(std::clamp(std::lround(celsius * 10.0), -32768L, 32767L));
}

QByteArray withCrc(QByteArray frame)
{
    quint8 first, second;
    Protocol::modbusCrc(reinterpret_cast<const quint8 *>(frame.constData()), frame.size(), first, second);
    frame.append(char(first));
    frame.append(char(second));
    return frame;
}

constexpr int MaxDacValue = 4095;

} // namespace

SimDevice::SimDevice()
{
    // Model 25001, made 2024-07-09, first unit of the day.
    deviceState.serial = QByteArray::fromHex("0061A91807090001");
    // The device has been running: fans spin at their automatic idle speed.
    for (int i = 0; i < FanCount; ++i)
        deviceState.fanRpm[i] = fanPwmCommand() * SimThermalModel::FanFullRpm / 1000.0 * SimThermalModel::FanSpread[i];
}

int SimDevice::requestDataLength(quint16 word)
{
    const CommandRow *command = CommandCatalogue::find(word);
    if (!command)
        return UnknownWord;
    return command->encoding == DataEncoding::Raw ? VariableLength : command->dataLength;
}

int SimDevice::typicalDataLength(quint16 word)
{
    const CommandRow *command = CommandCatalogue::find(word);
    return command && command->encoding == DataEncoding::Raw ? command->dataLength : -1;
}

QByteArray SimDevice::writeReply(quint16 word, quint8 status)
{
    QByteArray r;
    r.append(char(0x01));
    put16(r, word);
    r.append(char(status));
    return withCrc(r);
}

QByteArray SimDevice::handleRequest(const QByteArray &frame)
{
    if (frame.size() < 5 || quint8(frame[0]) != 0x01)
        return QByteArray();
    ++deviceState.rxFrames;
    const quint16 word = be16(frame, 1);
    const QByteArray data = frame.mid(3, frame.size() - 5);

    if (refused.contains(word))
        return writeReply(word, Refused);
    if (word == 0x00C1)
        return statusReply();
    if (word == 0xA111)
        return pidReply();
    return writeReply(word, execute(word, data));
}

quint8 SimDevice::execute(quint16 word, const QByteArray &data)
{
    State &s = deviceState;
    const int fixed = requestDataLength(word);
    if (fixed == UnknownWord)
        return UnknownCommand;
    if (fixed >= 0 && data.size() != fixed)
        return InvalidData;

    switch (word) {
    case 0x0001:
        if (quint8(data[0]) != 0x5A || quint8(data[1]) != 0xA5)
            return InvalidData;
        softReset();
        return Accepted;
    case 0x0011:
    case 0x00A4:
    case 0x00A6: {
        const quint8 v = quint8(data[0]);
        if (v > 1)
            return InvalidData;
        if (word == 0x0011)
            s.laserOn = v == 1;
        else if (word == 0x00A4)
            s.tecOn = v == 1;
        else
            s.tecAuto = v == 1;
        return Accepted;
    }
    case 0x0012: {
        const quint16 v = be16(data, 0);
        if (v > 1000)
            return InvalidData;
        s.power = v;
        return Accepted;
    }
    case 0x0013:
        s.threshold = qint16(be16(data, 0));
        return Accepted;
    case 0x0014:
        s.rxFrames = be32(data, 0);
        s.txFrames = be32(data, 4);
        return Accepted;
    case 0x0015:
        // The record is exactly 8 bytes; anything else is refused and the
        // stored number stays as it was.
        if (data.size() != 8)
            return InvalidData;
        s.serial = data;
        return Accepted;
    case 0x00A1:
    case 0x00A2: {
        const quint16 v = be16(data, 0);
        if (v > MaxDacValue)
            return InvalidData;
        s.maxDac = v;
        if (word == 0x00A1)
            s.savedMaxDac = v;
        return Accepted;
    }
    case 0x00A3:
        s.compensationHours = be32(data, 0);
        return Accepted;
    case 0x00A5: {
        const quint16 v = be16(data, 0);
        if (v > SimThermalModel::MaxTecDac)
            return InvalidData;
        s.tecDac = v;
        return Accepted;
    }
    case 0x00A7: {
        if (data.size() != 3)
            return InvalidData;
        const quint8 kind = quint8(data[0]);
        const quint16 value = be16(data, 1);
        if (kind == 0x01 || kind == 0x00) {
            if (value != 0xFFFF)
                return InvalidData;
            s.fanAuto = kind == 0x01;
            if (!s.fanAuto)
                s.fanPwm = quint16(fanPwmCommand()); // keep the speed it had
            return Accepted;
        }
        if (kind != 0xFF || value > 1000)
            return InvalidData;
        s.fanAuto = false;
        s.fanPwm = value;
        return Accepted;
    }
    case 0x00A8:
        if (data.size() != 1 || quint8(data[0]) > 2)
            return InvalidData;
        s.ldType = quint8(data[0]);
        return Accepted;
    case 0xA010:
        s.kp = be32(data, 0);
        s.ki = be32(data, 4);
        s.kd = be32(data, 8);
        return Accepted;
    default:
        return catalogueSetting(word, data);
    }
}

quint8 SimDevice::catalogueSetting(quint16 word, const QByteArray &data)
{
    // A setting of the command catalogue that nothing here models (no status
    // field shows it): the device takes a value in its range.
    const CommandRow *command = CommandCatalogue::find(word);
    if (!command || command->read)
        return UnknownCommand;
    qint64 value = 0;
    switch (command->encoding) {
    case DataEncoding::Byte:
        value = quint8(data[0]);
        break;
    case DataEncoding::Word16:
        value = command->min < 0 ? qint64(qint16(be16(data, 0))) : qint64(be16(data, 0));
        break;
    default:
        return UnknownCommand;
    }
    return CommandCatalogue::accepts(command->word, value) ? Accepted : InvalidData;
}

void SimDevice::softReset()
{
    // A restart drops what lives in RAM (laser switch, manual TEC and fan
    // settings, an unsaved DAC limit, the frame counters) and keeps what is
    // stored (power, threshold, serial, saved DAC, type, PID, run time).
    State &s = deviceState;
    s.laserOn = false;
    s.tecOn = true;
    s.tecAuto = true;
    s.tecDac = 0;
    s.fanAuto = true;
    s.fanPwm = 0;
    s.maxDac = s.savedMaxDac;
    s.rxFrames = 0;
    s.txFrames = 0;
}

void SimDevice::bootFirmware(quint8 major, quint8 minor)
{
    deviceState.fwMajor = major;
    deviceState.fwMinor = minor;
    softReset();
}

void SimDevice::setFanStuck(int fan, bool stuck)
{
    if (fan >= 0 && fan < FanCount)
        deviceState.fanStuck[fan] = stuck;
}

int SimDevice::fanPwmCommand() const
{
    return SimThermalModel::fanPwmCommand(deviceState);
}

bool SimDevice::fanAlarm(int fan) const
{
    return fan >= 0 && fan < FanCount && deviceState.fanStallMs[fan] >= 2000.0;
}

quint8 SimDevice::alarmBits() const
{
    quint8 bits = 0;
    if (tenths(deviceState.ldTemp) > deviceState.threshold)
        bits |= StatusSchema::AlarmTemperature;
    const quint8 fans[FanCount] = {StatusSchema::AlarmFan1, StatusSchema::AlarmFan2, StatusSchema::AlarmFan3};
    for (int i = 0; i < FanCount; ++i)
        if (fanAlarm(i))
            bits |= fans[i];
    return bits;
}

void SimDevice::advance(qint64 ms)
{
    if (ms <= 0)
        return;
    deviceState.runMs += quint64(ms);
    // Small steps keep the coupled first-order models stable; very long
    // jumps use coarser steps so that a jump of days stays cheap.
    const double stepMs = std::max(100.0, double(ms) / 2000.0);
    double left = double(ms);
    while (left > 0) {
        const double dt = std::min(stepMs, left);
        thermalModel.step(deviceState, dt / 1000.0);
        left -= dt;
    }
}

QByteArray SimDevice::statusData() const
{
    const State &s = deviceState;
    QByteArray d;
    d.reserve(StatusDataSize);
    d.append(char(s.fwMajor));
    d.append(char(s.fwMinor));
    d.append(char(s.laserOn ? 0x01 : 0x00));
    d.append(char(alarmBits()));
    put16(d, s.power);
    put16(d, quint16(s.threshold));
    put32(d, s.rxFrames);
    put32(d, s.txFrames);
    d.append(s.serial.leftJustified(8, '\0', true));
    put32(d, quint32(s.runMs / 1000));
    put32(d, s.compensationHours);
    for (int i = 0; i < FanCount; ++i)
        put16(d, toU16(s.fanRpm[i]));
    put16(d, toU16(s.ldCurrent));
    put16(d, toU16(s.tecCurrent));
    put16(d, quint16(tenths(s.ldTemp)));
    put16(d, quint16(tenths(s.ldTemp2)));
    put16(d, s.maxDac);
    d.append(char(s.ldType));
    d.append(char(0x00));
    put16(d, quint16(tenths(s.mcuTemp)));
    put16(d, quint16(tenths(s.envTemp)));
    return d;
}

QByteArray SimDevice::statusReply() const
{
    QByteArray r;
    r.append(char(0x01));
    put16(r, 0x00C1);
    r.append(statusData());
    return withCrc(r);
}

QByteArray SimDevice::pidReply() const
{
    const State &s = deviceState;
    QByteArray r;
    r.append(char(0x01));
    put16(r, 0xA111);
    // The loop's measured temperature (0.1 degC, signed) and its output.
    put32(r, quint32(qint32(tenths(s.ldTemp))));
    put32(r, quint32(std::lround(s.tecCurrent / SimThermalModel::TecFullCurrent * 1000.0)));
    put32(r, s.kp);
    put32(r, s.ki);
    put32(r, s.kd);
    return withCrc(r);
}
