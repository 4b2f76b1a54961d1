#include "CertificateHook.h"

#include "TiedProcess.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>

namespace CertificateHook {

namespace {

// Drawing a certificate takes well under a second; a hung helper must not
// hold the unit's record for good.
constexpr int HelperTimeoutMs = 60000;

} // namespace

UnitRun::RecordHook make()
{
    const QString helper = QCoreApplication::applicationDirPath() + QStringLiteral("/korvex-certificate");
    return [helper](const RunRecord &record, const QString &folder, QString *error) {
        if (!QFileInfo(helper).isExecutable()) {
            *error = QStringLiteral("certificate.pdf: %1 is missing").arg(helper);
            return false;
        }
        // Started on the unit's thread, which outlives it.
        TiedProcess process(nullptr, SIGKILL);
        process.start(helper, {QStringLiteral("--record"), QStringLiteral("-"), folder});
        if (!process.waitForStarted(HelperTimeoutMs)) {
            *error = QStringLiteral("certificate.pdf: %1").arg(process.errorString());
            return false;
        }
        process.write(QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact));
        process.closeWriteChannel();
        if (!process.waitForFinished(HelperTimeoutMs)) {
            process.kill();
            process.waitForFinished();
            *error = QStringLiteral("certificate.pdf: korvex-certificate did not finish");
            return false;
        }
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            // Its own warnings (a platform's notes) are kept quiet unless it failed.
            const QStringList said = QString::fromLocal8Bit(process.readAllStandardError()).trimmed().split(QLatin1Char('\n'));
            *error = QStringLiteral("certificate.pdf: korvex-certificate failed (exit %1): %2")
                         .arg(process.exitCode())
                         .arg(said.last());
            return false;
        }
        return true;
    };
}

} // namespace CertificateHook
