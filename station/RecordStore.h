#ifndef KORVEX_RECORDSTORE_H
#define KORVEX_RECORDSTORE_H

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

// A station's records folder, shared by every unit of a run and by other
// stations (processes) writing into the same folder:
//   DIR/<serial>/<UTC start YYYYMMDDTHHMMSSZ>/  record.json junit.xml samples.csv
//   DIR/results.csv                              a row per unit run
// A run writes into DIR/.running/<unique>/ and the finished folder is
// renamed into place, so a crash or a power cut leaves a complete record or
// none there. Each file of it is written, flushed and renamed. Rows of
// results.csv are appended under a lock file, the header once.
class RecordStore
{
public:
    explicit RecordStore(const QString &directory);

    // Creates the folder; false with *error.
    bool prepare(QString *error);
    QString directory() const { return root; }

    // A new empty folder for a running test.
    QString startRun(QString *error);
    // Moves a run's folder to DIR/<serial>/<stamp> ("-2", "-3" ... when a
    // unit of the same serial number started in the same second); returns
    // the new path relative to DIR, or an empty string with *error.
    QString commit(const QString &runFolder, const QString &serial, const QDateTime &start, QString *error);
    bool appendResult(const QStringList &row, const QStringList &header, QString *error);

    // Whether the station has records of this serial number, or has handed it
    // to a unit of this run.
    bool serialKnown(const QString &serial) const;
    // Takes a number for a unit: false when it is known already.
    bool claimSerial(const QString &serial);
    // The next free number of the day for the model: "25001-20261209-0007".
    QString allocateSerial(quint32 model, const QDate &day);

    // Writes, flushes and renames; false with *error.
    static bool writeAtomically(const QString &path, const QByteArray &bytes, QString *error);
    static QString folderStamp(const QDateTime &start);

private:
    QString root;
};

#endif
