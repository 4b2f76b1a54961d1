// korvex-sim: the simulated laser light source.

#include "SimBootLoader.h"
#include "SimDevice.h"
#include "SimOptions.h"
#include "SimPtyLine.h"
#include "SimSerialLine.h"
#include "SimServer.h"
#include "ExitCode.h"
#include "SignalEvents.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    SimOptions options;
    QString error;
    switch (options.parse(app.arguments().mid(1), &error)) {
    case SimOptions::ShowHelp:
        std::fputs(SimOptions::helpText().toLocal8Bit().constData(), stdout);
        return ExitCode::Done;
    case SimOptions::ShowVersion:
        std::printf("korvex-sim %s\n", KORVEX_VERSION);
        return ExitCode::Done;
    case SimOptions::Invalid:
        std::fprintf(stderr, "korvex-sim: %s\nTry 'korvex-sim --help'.\n", error.toLocal8Bit().constData());
        return ExitCode::BadArguments;
    case SimOptions::Run:
        break;
    }

    SignalEvents quitOnSignal;
    QObject::connect(&quitOnSignal, &SignalEvents::received, QCoreApplication::instance(), &QCoreApplication::quit);

    std::unique_ptr<SimLine> line;
    if (options.usePty)
        line.reset(new SimPtyLine(options.linkPath));
    else
        line.reset(new SimSerialLine(options.portName, options.baud));
    if (!line->open(&error)) {
        std::fprintf(stderr, "korvex-sim: %s\n", error.toLocal8Bit().constData());
        return ExitCode::LineNotOpened;
    }

    SimDevice device;
    device.setRefusedWords(options.refusedWords);
    for (int fan : options.stuckFans)
        device.setFanStuck(fan, true);
    device.state().fwMajor = options.fwMajor;
    device.state().fwMinor = options.fwMinor;
    device.state().ldType = options.ldType;
    device.state().runMs = quint64(options.runSeconds) * 1000;
    if (!options.serialRecord.isEmpty())
        device.state().serial = options.serialRecord;
    device.model().parameters() = options.model;

    SimServer::Settings settings;
    settings.gapMs = options.gapMs;
    settings.speed = options.speed;
    settings.logPath = options.logPath;
    settings.faultLogPath = options.faultLogPath;
    settings.verbose = options.verbose;
    settings.chatterMs = options.chatterMs;
    SimServer server(line.get(), &device, options.faults, settings);
    if (!server.start(&error)) {
        std::fprintf(stderr, "korvex-sim: %s\n", error.toLocal8Bit().constData());
        return ExitCode::LineNotOpened;
    }

    std::unique_ptr<SimBootLoader> bootLoader;
    if (!options.firmwareDir.isEmpty()) {
        SimBootLoader::Settings loaderSettings;
        loaderSettings.directory = options.firmwareDir;
        bootLoader.reset(new SimBootLoader(line.get(), loaderSettings));
        QObject::connect(bootLoader.get(), &SimBootLoader::report, [](const QString &text) {
            std::fprintf(stderr, "korvex-sim: %s\n", text.toLocal8Bit().constData());
            std::fflush(stderr);
        });
        if (!bootLoader->start(&error)) {
            std::fprintf(stderr, "korvex-sim: %s\n", error.toLocal8Bit().constData());
            return ExitCode::LineNotOpened;
        }
        server.setBootLoader(bootLoader.get());
        QObject::connect(bootLoader.get(), &SimBootLoader::imageSaved, [&device](const QString &path) {
            QFile image(path);
            quint8 major = 0, minor = 0;
            if (image.open(QIODevice::ReadOnly)
                && SimBootLoader::imageVersion(image.read(SimBootLoader::VersionSearchBytes), &major, &minor))
                device.bootFirmware(major, minor);
        });
    }

    // The first line tells the caller which terminal or port to open.
    std::printf("%s\n", line->hostName().toLocal8Bit().constData());
    std::fflush(stdout);

    app.exec();
    return ExitCode::Done;
}
