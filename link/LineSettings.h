#ifndef KORVEX_LINESETTINGS_H
#define KORVEX_LINESETTINGS_H

#include <QString>
#include <QVector>

// How the device port is set up: its name, rate, stop bits and parity. The
// link opens ports only with this; the serial settings dialog's four texts
// become one at the executor's port slot, korvexctl builds one from its
// options. Data bits are always 8, flow control none.
struct LineSettings
{
    enum class StopBits { One, OneAndHalf, Two };
    enum class Parity { None, Odd, Even };

    QString name;
    int baud = 115200;
    StopBits stopBits = StopBits::One;
    Parity parity = Parity::None;

    // The dialog's list: port name, rate as decimal text (not a number: 0,
    // which opens nothing), stop bits "1", "1.5" or "2", parity "无", "奇校验"
    // or "偶校验". Unknown stop bits or parity texts read as one stop bit and
    // no parity, as the dialog never sends them. False for fewer than four
    // items (out then holds the name, if any).
    static bool fromDialogTexts(const QVector<QString> &texts, LineSettings *out);

    // The name a serial port opens under: the serial library puts /dev/ in
    // front of every relative name ("ttyUSB0"), so a relative path ("./u1",
    // "flash/b1") is made absolute first.
    static QString openableName(const QString &given);

    // "8N1", "8E2", "8O1.5": the usual short form, for messages.
    QString shortText() const;
    bool operator==(const LineSettings &other) const;
};

#endif
