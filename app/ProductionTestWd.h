#ifndef KORVEX_PRODUCTIONTESTWD_H
#define KORVEX_PRODUCTIONTESTWD_H

#include "DevStatusCache.h"
#include "Measurement.h"
#include "TestPlan.h"

#include <QWidget>

#include <functional>
#include <memory>

class PlCommand;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class Station;

// "生产测试": a test plan run on the unit connected to the main window, with
// the station's engine and records: the plan, the serial number (typed or
// scanned) and the operator, then the steps with their state and values, the
// operator's prompts as dialogs, abort at any time (the unit is made safe),
// the verdict, the record folder. Each run's certificate.pdf is written into
// its record.
class ProductionTestWd : public QWidget
{
    Q_OBJECT
public:
    // portName: the name of the window's open device port (empty: none).
    ProductionTestWd(PlCommand *executor, std::function<QString()> portName, QWidget *parent = nullptr);
    ~ProductionTestWd() override;

    bool isRunning() const;
    // The last run's record folder (absolute), once it is written.
    QString recordFolder() const { return lastFolder; }

public slots:
    // Every status the main window read: the running step's fields shown
    // live against their limits.
    void showLive(const DevStatusCache &cache);
    bool loadPlan(const QString &path);
    void startTest();
    void abortTest();

signals:
    void finished(const QString &outcome);

private:
    void setStepState(int step, Outcome outcome, bool reached, const QString &reason);
    void setRunning(bool running);
    void showVerdict(const QString &outcome);
    bool askOperator(const QString &instruction, QString *note);

    PlCommand *executor;
    std::function<QString()> portName;
    TestPlan plan;
    bool planLoaded = false;
    std::unique_ptr<Station> station;
    int runningStep = -1;
    QString lastFolder;

    QLineEdit *planEdit;
    QLineEdit *serialEdit;
    QLineEdit *operatorEdit;
    QLineEdit *recordsEdit;
    QPushButton *startButton;
    QPushButton *abortButton;
    QPushButton *folderButton;
    QTableWidget *table;
    QLabel *verdictLabel;
    QLabel *messageLabel;
};

#endif
