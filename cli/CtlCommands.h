#ifndef KORVEX_CTLCOMMANDS_H
#define KORVEX_CTLCOMMANDS_H

#include "CtlCommand.h"

#include <QVector>

// The korvexctl commands, one file each; korvexctl lists them in this order.
CtlCommand portsCommand();
CtlCommand statusCommand();
CtlCommand watchCommand();
QVector<CtlCommand> operatorCommands();   // laser, power, threshold, restart, clear-counters
QVector<CtlCommand> factoryCommands();    // max-dac, compensation, laser-type, tec, fan
CtlCommand serialNumberCommand();
CtlCommand pidCommand();
CtlCommand profileCommand();
QVector<CtlCommand> transferCommands();   // send, receive
CtlCommand flashCommand();

#endif
