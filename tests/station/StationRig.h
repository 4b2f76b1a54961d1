#ifndef KORVEX_TESTS_STATIONRIG_H
#define KORVEX_TESTS_STATIONRIG_H

// A test station on a bench: simulated units on ptys, a plan file and a
// records folder in a temporary directory, korvexctl test run on them.
//
//   StationRig rig;
//   rig.addUnit({"--fan-stuck", "2"});
//   rig.writePlan("steps:\n  - name: soak\n    hold: ...");
//   const CtlRun r = rig.run();
//   QCOMPARE(rig.record(0)["outcome"].toString(), "fail");

#include "CtlRun.h"
#include "SimProcess.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <memory>
#include <vector>

class StationRig
{
public:
    // Simulated time runs this much faster, so that plans stay short.
    static constexpr int Speed = 10;

    bool addUnit(const QStringList &simArgs = QStringList())
    {
        units.push_back(std::make_unique<SimProcess>(QStringList{QStringLiteral("--speed"), QString::number(Speed)} + simArgs));
        return units.back()->isRunning();
    }
    SimProcess &unit(int i) { return *units[size_t(i)]; }

    // A plan of these steps (the text below "steps:"), polling every 100 ms.
    void writePlan(const QByteArray &steps, const QByteArray &head = "timeout: 1m\n")
    {
        writeFile(QStringLiteral("plan.yaml"), "name: bench\npoll: 100ms\n" + head + "steps:\n" + steps);
    }
    void writeFile(const QString &name, const QByteArray &bytes)
    {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    QString records() const { return dir.filePath(QStringLiteral("records")); }

    QStringList arguments(const QStringList &extra = QStringList()) const
    {
        QStringList args{QStringLiteral("test"), path(QStringLiteral("plan.yaml")), QStringLiteral("--records"), records(),
                         QStringLiteral("--station"), QStringLiteral("bench-1"), QStringLiteral("--timeout"), QStringLiteral("300")};
        for (const auto &u : units)
            args << QStringLiteral("--port") << u->ptyPath();
        return args + extra;
    }
    CtlRun run(const QStringList &extra = QStringList(), const CtlRun::Setup &setup = CtlRun::Setup())
    {
        return CtlRun(arguments(extra), setup, 120000);
    }

    // The record folders written, relative to the records folder.
    QStringList recordFolders() const
    {
        QStringList found;
        QDirIterator it(records(), {QStringLiteral("record.json")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            found << QDir(records()).relativeFilePath(QFileInfo(it.next()).path());
        found.sort();
        return found;
    }
    // The record of the unit on port i (by its port).
    QJsonObject record(int i) const
    {
        for (const QString &folder : recordFolders()) {
            QFile f(records() + QLatin1Char('/') + folder + QStringLiteral("/record.json"));
            f.open(QIODevice::ReadOnly);
            const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
            if (o["unit"].toObject()["port"].toString() == units[size_t(i)]->ptyPath())
                return o;
        }
        return QJsonObject();
    }

private:
    QTemporaryDir dir;
    std::vector<std::unique_ptr<SimProcess>> units;
};

#endif
