#ifndef KORVEX_YMODEMHEADER_H
#define KORVEX_YMODEMHEADER_H

#include <QString>
#include <QtGlobal>

// Reads the fields of a received YModem header block (128 or 1024 data
// bytes): the file name, a NUL, then the size in decimal, possibly followed by
// more fields after a space (lrzsz sends modification time and mode there).
class YmodemHeader
{
public:
    // The name up to the first NUL; empty when the block starts with NUL.
    static QString fileName(const quint8 *block, quint32 length);
    // The size field; false when it is missing, empty, not plain decimal
    // digits or too long to be a byte count.
    static bool fileSize(const quint8 *block, quint32 length, quint64 *size);

    // Control characters (C0, DEL, C1) and invisible format characters
    // (direction overrides, say): never part of a name that is taken.
    static bool isControl(QChar c);
    // `text` safe to show on a terminal: control and format characters and
    // the backslash are written as \xNN or \uNNNN escapes.
    static QString printable(const QString &text);
};

#endif
