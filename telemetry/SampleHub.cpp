#include "SampleHub.h"

#include "UnitPoller.h"

#include <QStringList>

SampleHub::SampleHub(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<PolledSample>();
}

SampleHub::~SampleHub()
{
    finishAll();
}

void SampleHub::addOutput(std::unique_ptr<WatchOutput> output, const QString &port)
{
    outputs.push_back(Route{std::move(output), port});
}

void SampleHub::watch(UnitPoller *poller)
{
    connect(poller, &UnitPoller::sampled, this, &SampleHub::deliver);
}

void SampleHub::deliver(const PolledSample &sample)
{
    ++deliveredCount;
    QStringList failures;
    for (auto it = outputs.begin(); it != outputs.end();) {
        if ((!it->port.isEmpty() && it->port != sample.port) || it->output->take(sample)) {
            ++it;
            continue;
        }
        const QString reason = it->output->errorText();
        failures.append(reason.isEmpty() ? QStringLiteral("an output could not be written") : reason);
        it->output->finish();
        it = outputs.erase(it);
    }
    // Told after the round: a listener may add outputs or end the program.
    for (const QString &reason : failures)
        emit outputFailed(sample.port, reason);
    emit sampled(sample);
}

void SampleHub::reopenAll()
{
    for (const Route &route : outputs) {
        if (!route.output->reopen())
            emit reopenFailed(route.output->errorText());
    }
}

void SampleHub::finishAll()
{
    std::vector<Route> ending;
    ending.swap(outputs);
    for (const Route &route : ending)
        route.output->finish();
}
