#ifndef KORVEX_LOGPANE_H
#define KORVEX_LOGPANE_H

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVector>

class QAction;
class QTextEdit;
class QWidget;

// The main window's log: every entry keeps its time and the device port it
// was written for. The pane shows the newest ShownLines lines, each line's
// time as its tool tip; the saved log keeps every entry since the last clear.
class LogPane : public QObject
{
    Q_OBJECT
public:
    // Lines the log pane and the PID window's sample text keep.
    static constexpr int ShownLines = 2000;

    struct Entry {
        QDateTime time;
        QString port;
        QString text;
    };

    LogPane(QTextEdit *view, QObject *parent);

    void append(const QString &text);
    // The port named by the entries that follow; empty while none is open.
    void setPort(const QString &port);
    const QVector<Entry> &entries() const { return log; }
    // The entry a line of the pane shows (its index), or -1.
    int entryAt(int blockNumber) const;

    // One line per entry: ISO 8601 time, port ("-" for none) and text,
    // separated by tabs. False with *error set when the file cannot be written.
    bool saveTo(const QString &path, QString *error) const;
    void clear();

    // "保存日志…" (asks for a file) and "清空日志", for the menus.
    QAction *saveAction() const { return saveLog; }
    // "显示时间": each line starts with its time (remembered for the next run).
    QAction *timesAction() const { return showTimes; }
    QAction *clearAction() const { return clearLog; }

    // Limits a text view to the newest ShownLines lines.
    static void limitLines(QTextEdit *view);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void askAndSave();
    void showMenu(const QPoint &pos);
    QString shownLine(const Entry &entry) const;
    void appendShown(int index);
    // The pane anew from the kept entries, after the time choice changed.
    void rebuild();

    QTextEdit *view;
    QWidget *viewport;
    QVector<Entry> log;
    QString port;
    QAction *saveLog;
    QAction *clearLog;
    QAction *showTimes;
};

#endif
