#ifndef KORVEX_LAMPTEXT_H
#define KORVEX_LAMPTEXT_H

#include <QString>

class QLabel;

// A lamp says its state in words beside it: a green tick next to "风扇1报警"
// alone reads as "fan 1 alarm: yes". The word label sits right of the lamp
// in the lamp's own box and is named after it ("labelFanAlarm_1Text").
namespace LampText {

// "开"/"关" for the laser, "正常"/"中断" for the link, "正常"/"报警" for an alarm.
QString forState(const QString &lampName, bool green);
// Adds the word label beside the lamp (once) and returns it.
QLabel *attach(QLabel *lamp);

} // namespace LampText

#endif
