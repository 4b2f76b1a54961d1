#ifndef KORVEX_METRICSEXPORT_H
#define KORVEX_METRICSEXPORT_H

#include "WatchOutput.h"

#include <QHostAddress>
#include <QString>

#include <memory>

class MetricsBoard;
class MetricsServer;
class MetricsTextFile;

// What `watch --metrics [ADDR:]PORT` and `--metrics-file PATH` set up: the
// board of all watched units, the HTTP endpoint that serves it and the text
// file, and one sample output per unit.
class MetricsExport
{
public:
    MetricsExport();
    ~MetricsExport();

    // "9101" (localhost), "0.0.0.0:9101", "[::1]:9101", "localhost:9101";
    // port 0 takes a free one. False with a message for anything else.
    static bool parseListen(const QString &text, QHostAddress *address, quint16 *port, QString *error);

    // Checks the text file's folder (when a path is given); false with a message.
    bool setFile(const QString &path, QString *error);
    // Starts the HTTP endpoint; false with a message when it cannot listen.
    bool listen(const QHostAddress &address, quint16 port, QString *error);

    bool enabled() const { return serving() || bool(textFile); }
    bool serving() const;
    // http://127.0.0.1:9101/metrics
    QString url() const;

    // The output of the unit on this port; the unit is shown from now on.
    std::unique_ptr<WatchOutput> output(const QString &port);

    MetricsBoard &board() { return *metricsBoard; }

private:
    std::shared_ptr<MetricsBoard> metricsBoard;
    std::unique_ptr<MetricsServer> server;
    std::shared_ptr<MetricsTextFile> textFile;
    QHostAddress listenAddress;
};

#endif
