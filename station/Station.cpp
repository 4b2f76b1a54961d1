#include "Station.h"

#include "UnitLink.h"

#include <QThread>

Station::Station(const TestPlan &testPlan, const QString &recordsDir, const UnitRun::Settings &settings,
                 const LinkFactory &links, QObject *parent)
    : QObject(parent), plan(testPlan), store(recordsDir), runSettings(settings), makeLink(links)
{
}

Station::~Station()
{
    abortAll(QStringLiteral("the station closed"));
    for (QThread *t : threads) {
        t->wait();
        delete t;
    }
}

bool Station::prepare(QString *error)
{
    return store.prepare(error);
}

void Station::addUnit(const QString &port)
{
    ports.append(port);
    records.append(RunRecord());
}

const RunRecord &Station::record(int unit) const
{
    return records[unit];
}

void Station::start()
{
    started = true;
    running = ports.size();
    runs.resize(ports.size());
    for (int i = 0; i < ports.size(); ++i) {
        // The unit's run and its line are made on its own thread, which
        // then belongs to them alone.
        QThread *thread = QThread::create([this, i] {
            UnitRun run(plan, ports[i], makeLink(ports[i]), &store, runSettings);
            run.setPromptHandler(prompt);
            run.setRecordHook(recordHook);
            connect(&run, &UnitRun::identified, this, [this, i](const QString &s) { emit identified(i, s); });
            connect(&run, &UnitRun::stepStarted, this, [this, i](int step, const QString &n) { emit stepStarted(i, step, n); });
            connect(&run, &UnitRun::measured, this, [this, i](int step, const Measurement &m) { emit measured(i, step, m); });
            connect(&run, &UnitRun::stepFinished, this,
                    [this, i](int step, Outcome o, const QString &why) { emit stepFinished(i, step, o, why); });
            {
                QMutexLocker lock(&runsMutex);
                runs[i] = &run;
                if (abortedWhy.size())
                    run.abort(abortedWhy);
            }
            run.run();
            {
                QMutexLocker lock(&runsMutex);
                runs[i] = nullptr;
            }
            const RunRecord record = run.record();
            // Queued, never blocking: the station's thread may be waiting
            // for this one to end.
            QMetaObject::invokeMethod(this, [this, i, record] {
                records[i] = record;
                emit unitFinished(i, record.outcome);
                if (--running == 0)
                    emit allFinished();
            }, Qt::QueuedConnection);
        });
        threads.append(thread);
        thread->start();
    }
}

void Station::abortAll(const QString &why)
{
    QMutexLocker lock(&runsMutex);
    if (abortedWhy.isEmpty())
        abortedWhy = why;
    for (UnitRun *r : runs)
        if (r)
            r->abort(why);
}

bool Station::isAborting()
{
    QMutexLocker lock(&runsMutex);
    return !abortedWhy.isEmpty();
}
