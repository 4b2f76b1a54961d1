#include "MetricsExport.h"

#include "MetricsBoard.h"
#include "MetricsServer.h"
#include "MetricsTextFile.h"
#include "MetricsWatchOutput.h"

#include <QFileInfo>

MetricsExport::MetricsExport() : metricsBoard(std::make_shared<MetricsBoard>()) {}

MetricsExport::~MetricsExport() = default;

bool MetricsExport::parseListen(const QString &text, QHostAddress *address, quint16 *port, QString *error)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = colon < 0 ? QString() : text.left(colon);
    const QString portText = colon < 0 ? text : text.mid(colon + 1);
    bool ok = false;
    const uint number = portText.toUInt(&ok);
    if (!ok || number > 65535) {
        *error = QStringLiteral("--metrics needs [ADDRESS:]PORT with a port 0..65535, not \"%1\"").arg(text);
        return false;
    }
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    if (host.isEmpty() && colon < 0)
        *address = QHostAddress(QHostAddress::LocalHost);
    else if (host == QLatin1String("localhost"))
        *address = QHostAddress(QHostAddress::LocalHost);
    else if (!address->setAddress(host)) {
        *error = QStringLiteral("--metrics: \"%1\" is not an IP address (0.0.0.0 listens on every one)").arg(host);
        return false;
    }
    *port = quint16(number);
    return true;
}

bool MetricsExport::setFile(const QString &path, QString *error)
{
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.isDir() || !folder.isWritable()) {
        *error = QStringLiteral("--metrics-file: cannot write in the folder %1").arg(folder.filePath());
        return false;
    }
    if (QFileInfo(path).isDir()) {
        *error = QStringLiteral("--metrics-file: %1 is a folder").arg(path);
        return false;
    }
    textFile = std::make_shared<MetricsTextFile>(path);
    return true;
}

bool MetricsExport::listen(const QHostAddress &address, quint16 port, QString *error)
{
    const std::shared_ptr<MetricsBoard> board = metricsBoard;
    server = std::make_unique<MetricsServer>([board] { return board->text(); });
    if (!server->start(address, port, error)) {
        server.reset();
        return false;
    }
    listenAddress = address;
    return true;
}

bool MetricsExport::serving() const
{
    return bool(server);
}

QString MetricsExport::url() const
{
    if (!server)
        return QString();
    const QString host = listenAddress.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + listenAddress.toString() + QLatin1Char(']')
                             : listenAddress.toString();
    return QStringLiteral("http://%1:%2/metrics").arg(host).arg(server->port());
}

std::unique_ptr<WatchOutput> MetricsExport::output(const QString &port)
{
    const int unit = metricsBoard->addUnit(port);
    // The file shows the new unit (korvex_up 0) before its first poll.
    if (textFile)
        textFile->write(metricsBoard->text());
    return std::make_unique<MetricsWatchOutput>(metricsBoard, unit, textFile);
}
