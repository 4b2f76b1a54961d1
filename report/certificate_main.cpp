// korvex-certificate: a unit's test certificate (certificate.pdf) from its
// record folder. korvexctl test runs it for every unit run, before the
// record is moved into place: korvexctl itself draws nothing and needs no
// graphics library.

#include "CertificateWriter.h"
#include "ExitCode.h"
#include "TrendCsv.h"
#include "TrendStore.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QTextStream>
#include <QTranslator>

#include <cstdio>

namespace {

int fail(const QString &why)
{
    QTextStream(stderr) << "korvex-certificate: " << why << '\n';
    return ExitCode::Failed;
}

} // namespace

int main(int argc, char *argv[])
{
    // Drawn into a file only: no display is needed or used.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvex-certificate"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVEX_VERSION));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Writes a unit's test certificate, FOLDER/certificate.pdf, from the run's record\n"
        "(FOLDER/record.json, or the record as JSON on standard input with --record -)\n"
        "and the samples polled during the run (FOLDER/samples.csv)."));
    p.addHelpOption();
    p.addVersionOption();
    p.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("The unit run's record folder."));
    p.addOption({QStringLiteral("record"), QStringLiteral("The record file (- for standard input)."), QStringLiteral("FILE")});
    p.addOption({QStringLiteral("output"), QStringLiteral("The PDF to write (default FOLDER/certificate.pdf)."),
                 QStringLiteral("FILE")});
    p.addOption({QStringLiteral("letter"), QStringLiteral("US Letter pages instead of A4.")});
    p.addOption({QStringLiteral("language"), QStringLiteral("en (default) or zh."), QStringLiteral("CODE"),
                 QStringLiteral("en")});
    if (!p.parse(app.arguments())) {
        QTextStream(stderr) << "korvex-certificate: " << p.errorText() << '\n';
        return ExitCode::BadArguments;
    }
    if (p.isSet(QStringLiteral("help")))
        p.showHelp(ExitCode::Done);
    if (p.isSet(QStringLiteral("version")))
        p.showVersion();
    if (p.positionalArguments().size() != 1) {
        QTextStream(stderr) << "korvex-certificate: give one record folder (see --help)\n";
        return ExitCode::BadArguments;
    }
    const QString language = p.value(QStringLiteral("language"));
    if (language != QLatin1String("en") && language != QLatin1String("zh")) {
        QTextStream(stderr) << "korvex-certificate: --language is en or zh\n";
        return ExitCode::BadArguments;
    }
    const QString folder = p.positionalArguments().first();

    // The texts are Chinese in the program; the line's record is read in English.
    QTranslator english;
    if (language == QLatin1String("en")) {
        const QString appDir = QCoreApplication::applicationDirPath();
        for (const QString &dir : {appDir + QStringLiteral("/translations"),
                                   QDir(appDir).absoluteFilePath(QStringLiteral("../share/korvex/translations"))})
            if (english.load(QStringLiteral("korvex_en"), dir)) {
                app.installTranslator(&english);
                break;
            }
    }

    const QString recordPath = p.isSet(QStringLiteral("record")) ? p.value(QStringLiteral("record"))
                                                                 : folder + QStringLiteral("/record.json");
    QFile recordFile(recordPath);
    const bool opened = recordPath == QLatin1String("-") ? recordFile.open(stdin, QIODevice::ReadOnly)
                                                         : recordFile.open(QIODevice::ReadOnly);
    if (!opened)
        return fail(QStringLiteral("%1: %2").arg(recordPath, recordFile.errorString()));
    QJsonParseError parseError;
    const QJsonDocument record = QJsonDocument::fromJson(recordFile.readAll(), &parseError);
    if (!record.isObject() || !record.object().contains(QStringLiteral("korvex_test_record")))
        return fail(QStringLiteral("%1: not a test record (%2)").arg(recordPath, parseError.errorString()));

    TrendStore samples;
    QString error;
    const QString samplesPath = folder + QStringLiteral("/samples.csv");
    if (QFile::exists(samplesPath) && !TrendCsv::read(samplesPath, &samples, &error))
        return fail(error);
    const QString output = p.isSet(QStringLiteral("output")) ? p.value(QStringLiteral("output"))
                                                             : folder + QStringLiteral("/certificate.pdf");
    if (!CertificateWriter::write(output, record.object(), samples,
                                  p.isSet(QStringLiteral("letter")) ? QPageSize::Letter : QPageSize::A4, &error))
        return fail(QStringLiteral("%1: %2").arg(output, error));
    return ExitCode::Done;
}
