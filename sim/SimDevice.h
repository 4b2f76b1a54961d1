#ifndef KORVEX_SIMDEVICE_H
#define KORVEX_SIMDEVICE_H

#include <QByteArray>
#include <QSet>

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
    static constexpr int FanCount = 3;

    // Everything the device knows. Temperatures in degrees Celsius, currents in mA.
    struct State {
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
    State &state() { return deviceState; }
    const State &state() const { return deviceState; }

private:
    quint8 execute(quint16 word, const QByteArray &data);
    quint8 catalogueSetting(quint16 word, const QByteArray &data);
    void softReset();
    void step(double dtSeconds);
    double ratedCurrent() const;

    State deviceState;
    QSet<quint16> refused;
};

#endif
