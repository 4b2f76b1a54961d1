#ifndef KORVEX_EVENTWD_H
#define KORVEX_EVENTWD_H

#include <QMainWindow>

class EventLog;
class QComboBox;
class QTableWidget;

// Tool window "事件记录": the session's events as a table, newest at the
// bottom, filtered by kind, saved as CSV or cleared. It shows the event log
// it is given and keeps nothing of its own.
class EventWd : public QMainWindow
{
    Q_OBJECT
public:
    EventWd(EventLog *events, QWidget *parent = nullptr);

    // The rows shown now (after the filter), as their cells.
    QVector<QStringList> shownRows() const;
    // Saves every event, whatever the filter shows; a message on failure.
    bool saveTo(const QString &path);

private:
    void rebuild();
    void showRow(int index);
    bool passes(int index) const;
    void askAndSave();

    EventLog *events;
    QComboBox *kindFilter;
    QTableWidget *table;
};

#endif
