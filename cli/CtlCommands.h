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

// "NAME N" for a catalogue row that says what it sets: its texts, range,
// factory flag and the write all come from the row.
CtlCommand catalogueSetter(CommandWord word);
// The given commands, then the setters of the rows (operator or factory)
// that say what they set and have no command of that name among them yet.
QVector<CtlCommand> withCatalogueSetters(QVector<CtlCommand> commands, bool factory);
CtlCommand serialNumberCommand();
CtlCommand pidCommand();
CtlCommand profileCommand();
QVector<CtlCommand> transferCommands();   // send, receive
CtlCommand flashCommand();
CtlCommand testCommand();

#endif
