#ifndef KORVEX_PORTLOSSNOTIFIER_H
#define KORVEX_PORTLOSSNOTIFIER_H

#include <QObject>
#include <QString>

// Tells that the command executor closed the device port by itself because
// the device behind it had gone (adapter pulled, far end of the line closed).
// An object of its own beside the executor, so that the executor's signals
// and slots keep their places in its meta-object.
class PortLossNotifier : public QObject
{
    Q_OBJECT
public:
    explicit PortLossNotifier(QObject *parent = nullptr);

signals:
    // Emitted on the executor's worker thread, just before the executor's
    // turnOffSpcommResult for the same close.
    void portLost(QString name);
};

#endif
