#ifndef KORVEX_SIMDEVICE_H
#define KORVEX_SIMDEVICE_H

#include <QByteArray>
#include <QSet>

#include "SimState.h"
#include "SimThermalModel.h"

// The simulated laser light source without any I/O: it takes whole request
// frames (address, word, data, CRC already checked), answers them, and lets
// its temperatures, currents and fans evolve when told how much time passed.
// Time is injected through advance(), so tests can run hours in a moment.
class SimDevice
{
public:
    // Status byte of the 6-byte write reply.
    enum Status : quint8 {
        Accepted = 0x00,
        Refused = 0x01,        // the device was told to refuse this command word
        UnknownCommand = 0x02, // a word the device does not implement
        InvalidData = 0x03     // wrong data length or a value out of range
    };

    static constexpr int StatusDataSize = 54;
    static constexpr int StatusReplySize = 3 + StatusDataSize + 2;
    static constexpr int PidReplySize = 3 + 20 + 2;
    static constexpr int FanCount = SimState::FanCount;

    // Everything the device knows (SimState.h).
    using State = SimState;

    SimDevice();

    // Handles one well-formed request frame and returns the reply frame, or
    // an empty array when the device stays silent. Counts the frame as received.
    QByteArray handleRequest(const QByteArray &frame);
    // The server calls this for every reply that really went out on the line.
    void noteReplySent() { ++deviceState.txFrames; }

    // Lets simulated time pass.
    void advance(qint64 ms);

    QByteArray statusData() const;  // the 54 data bytes of the status reply
    QByteArray statusReply() const; // the whole frame, word 0x00C1
    QByteArray pidReply() const;    // the whole frame, word 0xA111
    static QByteArray writeReply(quint16 word, quint8 status);

    quint8 alarmBits() const;
    int fanPwmCommand() const;    // PWM the fans are driven with now, 0..1000
    bool fanAlarm(int fan) const; // fan 0..2

    // Data length of a request by its command word: >= 0 fixed, VariableLength
    // when the device learns it from the line (serial number, fan, laser type),
    // UnknownWord for words it does not implement.
    static constexpr int VariableLength = -1;
    static constexpr int UnknownWord = -2;
    static int requestDataLength(quint16 word);
    // The usual data length of a variable request, or -1.
    static int typicalDataLength(quint16 word);

    void setRefusedWords(const QSet<quint16> &words) { refused = words; }
    void setFanStuck(int fan, bool stuck);
    // The boot loader has stored an image of this version: the unit restarts
    // and runs it.
    void bootFirmware(quint8 major, quint8 minor);
    State &state() { return deviceState; }
    // Its physics, with the parameters that make a good or a bad unit.
    SimThermalModel &model() { return thermalModel; }
    const State &state() const { return deviceState; }

private:
    quint8 execute(quint16 word, const QByteArray &data);
    quint8 catalogueSetting(quint16 word, const QByteArray &data);
    void softReset();

    State deviceState;
    SimThermalModel thermalModel;
    QSet<quint16> refused;
};

#endif
