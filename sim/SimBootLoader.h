#ifndef KORVEX_SIMBOOTLOADER_H
#define KORVEX_SIMBOOTLOADER_H

#include "Ymodem.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QSaveFile;
class QTimer;
class SimLine;

// The device's boot loader: takes a firmware image by YModem on the same
// line as the device commands. While device frames keep coming it stays
// silent. Once the line has been quiet for a second it prompts with "C" once
// a second, as a YModem receiver does; a YModem header then starts a
// transfer, and anything else hands the line back to the device. The image is
// saved under its own (plain) name in the firmware directory only when every
// announced byte has arrived.
class SimBootLoader : public QObject, public Ymodem
{
    Q_OBJECT
public:
    enum Mode { DeviceMode, Prompting, Receiving };

    struct Settings {
        QString directory;      // where received images go
        int quietMs = 1000;     // line silence before prompting
        int promptMs = 1000;    // time between two prompts
        int giveUpMs = 6000;    // silence that ends a transfer
        quint64 maxSize = 64ull * 1024 * 1024;
    };

    SimBootLoader(SimLine *line, const Settings &settings, QObject *parent = nullptr);
    ~SimBootLoader() override;

    // Checks that the directory exists and can be written.
    bool start(QString *error);

    // Every byte the line brings goes through here first. Returns the bytes
    // meant for the device; what belongs to a transfer is kept.
    QByteArray filter(const QByteArray &bytes);

    Mode mode() const { return currentMode; }

    // The version an image carries: the text "KORVEX-FIRMWARE MAJOR.MINOR"
    // within its first 4 KiB. The simulated unit boots a saved image that
    // carries one as that firmware; false for an image without it.
    static bool imageVersion(const QByteArray &head, quint8 *major, quint8 *minor);
    static constexpr int VersionSearchBytes = 4096;

signals:
    // One line per event worth telling the operator (image saved, transfer failed).
    void report(const QString &line);
    // A complete image was saved at path.
    void imageSaved(const QString &path);

protected:
    quint8 handleEvent(Event event, quint8 *buffer, quint32 *length) override;
    quint32 readInput(quint8 *buffer, quint32 length) override;
    quint32 writeOutput(quint8 *buffer, quint32 length) override;

private:
    void step();
    void toDeviceMode();
    void silentReset();
    quint8 takeHeader(const quint8 *buffer, quint32 length);
    quint8 takeData(const quint8 *buffer, quint32 length);
    quint8 store();
    void finish();
    void fail(const QString &why);
    void discardImage();
    static bool startsTransfer(const QByteArray &head);

    SimLine *deviceLine;
    Settings loaderSettings;
    Mode currentMode = DeviceMode;
    QTimer *quietTimer;
    QTimer *stepTimer;
    QElapsedTimer lastInput;
    QByteArray input; // bytes handed to the engine, not yet read
    QByteArray held;  // a possible start of a header, not yet decided
    bool mute = false;
    QSaveFile *file;
    QString name;
    quint64 size = 0;
    quint64 done = 0;
    bool stored = false;
};

#endif
