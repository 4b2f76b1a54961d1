#include "ProductionTestWd.h"

#include "CertificateWriter.h"
#include "ExecutorUnitLink.h"
#include "MeasuredText.h"
#include "PlanReader.h"
#include "Station.h"
#include "StatusSchema.h"
#include "TrendCsv.h"
#include "TrendStore.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSemaphore>
#include <QSysInfo>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <atomic>

namespace {

enum Column { ColStep, ColState, ColValues, ColLimits, ColNote, ColumnCount };

QString stateText(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Pass: return ProductionTestWd::tr("通过");
    case Outcome::Marginal: return ProductionTestWd::tr("临界");
    case Outcome::Fail: return ProductionTestWd::tr("不合格");
    case Outcome::Error: return ProductionTestWd::tr("错误");
    case Outcome::Aborted: return ProductionTestWd::tr("已中止");
    }
    return QString();
}

QColor stateColor(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Pass: return QColor(0x2e, 0x7d, 0x32);
    case Outcome::Marginal: return QColor(0xb2, 0x6a, 0x00);
    case Outcome::Fail:
    case Outcome::Error: return QColor(0xc6, 0x28, 0x28);
    case Outcome::Aborted: return QColor(0x75, 0x75, 0x75);
    }
    return QColor();
}

QString measurementText(const Measurement &m)
{
    const QString value = m.textValue.isEmpty() && m.textLimit.isEmpty() ? measuredText(m.value) : m.textValue;
    return QStringLiteral("%1 = %2%3").arg(m.name, value, m.unit.isEmpty() ? QString() : QLatin1Char(' ') + m.unit);
}

QString limitText(const Measurement &m)
{
    return m.textLimit.isEmpty() ? m.limit.text() : m.textLimit;
}

// The fields a step watches while it runs, with what they must keep to.
QVector<FieldLimit> watchedFields(const PlanStep &step)
{
    switch (step.kind) {
    case PlanStep::Kind::Wait:
    case PlanStep::Kind::Hold: return step.conditions;
    case PlanStep::Kind::Measure: return {step.measured};
    default: return {};
    }
}

// A measure step judges a statistic over its window, not each value: its
// live values are shown unjudged.
bool judgedLive(const PlanStep &step)
{
    return step.kind != PlanStep::Kind::Measure || step.statistic == PlanStep::Statistic::Value;
}

QString watchedName(const PlanStep &step, const FieldLimit &f)
{
    return judgedLive(step) ? f.field.name : f.field.name + QLatin1Char(' ') + PlanStep::statisticName(step.statistic);
}

// The operator's answer to a prompt, handed from the window's thread to the
// unit's, which waits for it and for an abort at the same time.
struct PromptAnswer
{
    QSemaphore given;
    bool pass = false;
    QString note;
};

} // namespace

ProductionTestWd::ProductionTestWd(PlCommand *plCommand, std::function<QString()> port, QWidget *parent)
    : QWidget(parent, Qt::Window), executor(plCommand), portName(std::move(port))
{
    setObjectName(QStringLiteral("ProductionTestWd"));
    setWindowTitle(tr("生产测试"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    layout->addLayout(form);

    planEdit = new QLineEdit(this);
    planEdit->setObjectName(QStringLiteral("lineEditPlan"));
    planEdit->setPlaceholderText(tr("测试计划文件（.yaml）"));
    auto *browse = new QPushButton(tr("选择…"), this);
    browse->setObjectName(QStringLiteral("btnChoosePlan"));
    auto *planRow = new QHBoxLayout;
    planRow->addWidget(planEdit, 1);
    planRow->addWidget(browse);
    form->addRow(tr("测试计划"), planRow);

    serialEdit = new QLineEdit(this);
    serialEdit->setObjectName(QStringLiteral("lineEditSerial"));
    serialEdit->setPlaceholderText(tr("输入或扫描序列号"));
    form->addRow(tr("序列号"), serialEdit);
    operatorEdit = new QLineEdit(this);
    operatorEdit->setObjectName(QStringLiteral("lineEditOperator"));
    form->addRow(tr("操作员"), operatorEdit);
    recordsEdit = new QLineEdit(QDir::home().filePath(QStringLiteral("korvex-records")), this);
    recordsEdit->setObjectName(QStringLiteral("lineEditRecords"));
    form->addRow(tr("记录文件夹"), recordsEdit);

    auto *buttons = new QHBoxLayout;
    startButton = new QPushButton(tr("开始测试"), this);
    startButton->setObjectName(QStringLiteral("btnStartTest"));
    abortButton = new QPushButton(tr("中止测试"), this);
    abortButton->setObjectName(QStringLiteral("btnAbortTest"));
    abortButton->setEnabled(false);
    folderButton = new QPushButton(tr("打开记录文件夹"), this);
    folderButton->setObjectName(QStringLiteral("btnOpenRecord"));
    folderButton->setEnabled(false);
    buttons->addWidget(startButton);
    buttons->addWidget(abortButton);
    buttons->addStretch(1);
    buttons->addWidget(folderButton);
    layout->addLayout(buttons);

    table = new QTableWidget(0, ColumnCount, this);
    table->setObjectName(QStringLiteral("tableSteps"));
    table->setHorizontalHeaderLabels({tr("步骤"), tr("状态"), tr("测量值"), tr("限值"), tr("说明")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setWordWrap(true);
    // The values and their limits get the room; a step's name and its state
    // are short.
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    for (const auto &[column, width] : {std::pair<int, int>{ColStep, 160}, {ColState, 90}, {ColValues, 250}, {ColLimits, 200}})
        table->setColumnWidth(column, width);
    layout->addWidget(table, 1);

    verdictLabel = new QLabel(this);
    verdictLabel->setObjectName(QStringLiteral("labelVerdict"));
    verdictLabel->setAlignment(Qt::AlignCenter);
    QFont big = verdictLabel->font();
    big.setPointSizeF(big.pointSizeF() * 2.4);
    big.setBold(true);
    verdictLabel->setFont(big);
    layout->addWidget(verdictLabel);
    messageLabel = new QLabel(this);
    messageLabel->setObjectName(QStringLiteral("labelTestMessage"));
    messageLabel->setWordWrap(true);
    layout->addWidget(messageLabel);

    connect(browse, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("选择测试计划"), planEdit->text(),
                                                          tr("测试计划 (*.yaml *.yml);;所有文件 (*)"));
        if (!path.isEmpty())
            loadPlan(path);
    });
    connect(planEdit, &QLineEdit::editingFinished, this, [this] {
        if (planEdit->text() != plan.path || !planLoaded)
            loadPlan(planEdit->text());
    });
    // A scanner types the number and presses Enter: on to the operator, or
    // straight to the start once the operator is known.
    connect(serialEdit, &QLineEdit::returnPressed, this, [this] {
        if (operatorEdit->text().trimmed().isEmpty())
            operatorEdit->setFocus();
        else
            startTest();
    });
    connect(operatorEdit, &QLineEdit::returnPressed, this, &ProductionTestWd::startTest);
    connect(startButton, &QPushButton::clicked, this, &ProductionTestWd::startTest);
    connect(abortButton, &QPushButton::clicked, this, &ProductionTestWd::abortTest);
    connect(folderButton, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(lastFolder)); });
    resize(900, 600);
}

ProductionTestWd::~ProductionTestWd()
{
    // The plan field loses its focus while the children go, after this
    // window's own members: it must not reach them then.
    disconnect(planEdit, nullptr, this, nullptr);
    // The station waits for its unit, which makes the unit safe first.
    station.reset();
}

bool ProductionTestWd::isRunning() const
{
    return station && !station->isFinished();
}

bool ProductionTestWd::loadPlan(const QString &path)
{
    if (isRunning())
        return false;
    planEdit->setText(path);
    QString error;
    TestPlan read;
    planLoaded = PlanReader::read(path, &read, &error);
    table->setRowCount(0);
    verdictLabel->clear();
    if (!planLoaded) {
        plan = TestPlan();
        plan.path = path;
        messageLabel->setText(tr("无法读取测试计划：%1").arg(error));
        return false;
    }
    plan = read;
    table->setRowCount(plan.steps.size());
    for (int i = 0; i < plan.steps.size(); ++i) {
        table->setItem(i, ColStep, new QTableWidgetItem(plan.steps[i].name));
        for (int c = ColState; c < ColumnCount; ++c)
            table->setItem(i, c, new QTableWidgetItem);
        table->item(i, ColState)->setText(tr("等待"));
        QStringList limits;
        for (const FieldLimit &f : watchedFields(plan.steps[i]))
            limits.append(QStringLiteral("%1 %2").arg(watchedName(plan.steps[i], f), f.limit.text()));
        table->item(i, ColLimits)->setText(limits.join(QLatin1Char('\n')));
    }
    table->resizeRowsToContents();
    messageLabel->setText(tr("计划 %1：%2 个步骤").arg(plan.name).arg(plan.steps.size()));
    return true;
}

void ProductionTestWd::setStepState(int step, Outcome outcome, bool reached, const QString &reason)
{
    QTableWidgetItem *state = table->item(step, ColState);
    if (!state)
        return;
    state->setText(reached ? stateText(outcome) : tr("未执行"));
    state->setForeground(reached ? stateColor(outcome) : QColor(0x75, 0x75, 0x75));
    table->item(step, ColNote)->setText(reason);
}

void ProductionTestWd::setRunning(bool running)
{
    startButton->setEnabled(!running);
    abortButton->setEnabled(running);
    for (QLineEdit *edit : {planEdit, serialEdit, operatorEdit, recordsEdit})
        edit->setReadOnly(running);
}

void ProductionTestWd::startTest()
{
    if (isRunning())
        return;
    // Read again: the file may have changed since it was chosen.
    if (!loadPlan(planEdit->text()))
        return;
    const QString port = portName();
    if (port.isEmpty()) {
        messageLabel->setText(tr("请先打开设备端口。"));
        return;
    }
    if (operatorEdit->text().trimmed().isEmpty()) {
        messageLabel->setText(tr("请填写操作员。"));
        operatorEdit->setFocus();
        return;
    }
    UnitRun::Settings settings;
    settings.station = QSysInfo::machineHostName();
    settings.operatorName = operatorEdit->text().trimmed();
    settings.serial = serialEdit->text().trimmed();
    settings.korvexVersion = QStringLiteral(KORVEX_VERSION);
    const QString records = recordsEdit->text().trimmed();
    PlCommand *const exec = executor;
    station.reset();
    station = std::make_unique<Station>(plan, records, settings,
                                        [exec](const QString &) { return std::make_unique<ExecutorUnitLink>(exec); });
    QString error;
    if (!station->prepare(&error)) {
        station.reset();
        messageLabel->setText(tr("无法创建记录文件夹 %1：%2").arg(records, error));
        return;
    }
    // The certificate in each record, drawn on the unit's thread from the
    // record and the samples just written.
    const QPageSize::PageSizeId paper =
        QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter : QPageSize::A4;
    station->setRecordHook([paper](const RunRecord &record, const QString &folder, QString *why) {
        TrendStore samples;
        if (!TrendCsv::read(folder + QStringLiteral("/samples.csv"), &samples, why))
            return false;
        return CertificateWriter::write(folder + QStringLiteral("/certificate.pdf"), record.toJson(), samples, paper, why);
    });
    // A prompt waits on the unit's thread for the operator's answer in a
    // dialog on this one; an abort (or closing the window) ends the wait.
    Station *const running = station.get();
    station->setPromptHandler([this, running](const QString &, const QString &instruction, QString *note) {
        auto answer = std::make_shared<PromptAnswer>();
        QMetaObject::invokeMethod(this, [this, answer, instruction] {
            answer->pass = askOperator(instruction, &answer->note);
            answer->given.release();
        }, Qt::QueuedConnection);
        while (!answer->given.tryAcquire(1, 50))
            if (running->isAborting()) {
                *note = QStringLiteral("aborted while waiting for the operator");
                return false;
            }
        *note = answer->note;
        return answer->pass;
    });
    connect(station.get(), &Station::identified, this, [this](int, const QString &serial) {
        const QString typed = serialEdit->text().trimmed();
        // A label may print the number with or without its dashes.
        const auto digits = [](QString s) { return s.remove(QLatin1Char('-')); };
        messageLabel->setText(typed.isEmpty() || digits(typed) == digits(serial)
                                  ? tr("设备 %1").arg(serial)
                                  : tr("设备报告的序列号 %1 与输入的 %2 不同").arg(serial, typed));
    });
    connect(station.get(), &Station::stepStarted, this, [this](int, int step, const QString &) {
        runningStep = step;
        if (QTableWidgetItem *state = table->item(step, ColState)) {
            state->setText(tr("进行中"));
            state->setForeground(QColor(0x15, 0x65, 0xc0));
        }
        table->scrollToItem(table->item(step, ColStep));
    });
    connect(station.get(), &Station::measured, this, [this](int, int step, const Measurement &m) {
        QTableWidgetItem *values = table->item(step, ColValues);
        if (!values)
            return;
        // The first measurement replaces the live values shown so far.
        const bool first = !values->data(Qt::UserRole).toBool();
        values->setData(Qt::UserRole, true);
        values->setText(first ? measurementText(m) : values->text() + QLatin1Char('\n') + measurementText(m));
        values->setForeground(stateColor(m.outcome));
        QTableWidgetItem *limits = table->item(step, ColLimits);
        const QString limit = m.name + QLatin1Char(' ') + limitText(m);
        limits->setText(first ? limit : limits->text() + QLatin1Char('\n') + limit);
        table->resizeRowToContents(step);
    });
    connect(station.get(), &Station::stepFinished, this, [this](int, int step, Outcome o, const QString &why) {
        runningStep = -1;
        setStepState(step, o, true, why);
        table->resizeRowToContents(step);
    });
    connect(station.get(), &Station::unitFinished, this, [this, records](int unit, Outcome) {
        const RunRecord &record = station->record(unit);
        for (int i = 0; i < record.steps.size(); ++i)
            if (!record.steps[i].reached)
                setStepState(i, record.steps[i].outcome, false, QString());
        lastFolder = record.folder.isEmpty() ? QString() : QDir(records).absoluteFilePath(record.folder);
        folderButton->setEnabled(!lastFolder.isEmpty());
        showVerdict(outcomeName(record.outcome));
        QString text = record.reason;
        if (!record.endState.confirmed && record.endState.note.size())
            text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + record.endState.note;
        messageLabel->setText(lastFolder.isEmpty() ? text : text + (text.isEmpty() ? QString() : QStringLiteral("\n"))
                                                               + tr("记录：%1").arg(lastFolder));
    });
    connect(station.get(), &Station::allFinished, this, [this] {
        setRunning(false);
        emit finished(outcomeName(station->record(0).outcome));
    });
    verdictLabel->clear();
    verdictLabel->setStyleSheet(QString());
    folderButton->setEnabled(false);
    lastFolder.clear();
    station->addUnit(port);
    setRunning(true);
    messageLabel->setText(tr("测试进行中…"));
    station->start();
}

void ProductionTestWd::abortTest()
{
    if (!isRunning())
        return;
    messageLabel->setText(tr("正在中止：激光器关闭，TEC 与风扇回到自动…"));
    station->abortAll(QStringLiteral("aborted by the operator"));
}

void ProductionTestWd::showVerdict(const QString &outcome)
{
    verdictLabel->setText(CertificateWriter::verdictText(outcome));
    const Outcome o = outcome == QLatin1String("pass")       ? Outcome::Pass
                      : outcome == QLatin1String("marginal") ? Outcome::Marginal
                      : outcome == QLatin1String("fail")     ? Outcome::Fail
                      : outcome == QLatin1String("error")    ? Outcome::Error
                                                             : Outcome::Aborted;
    verdictLabel->setStyleSheet(QStringLiteral("color: %1;").arg(stateColor(o).name()));
}

void ProductionTestWd::showLive(const DevStatusCache &cache)
{
    if (!isRunning() || runningStep < 0 || runningStep >= plan.steps.size())
        return;
    QTableWidgetItem *values = table->item(runningStep, ColValues);
    if (!values || values->data(Qt::UserRole).toBool())
        return;
    QStringList lines;
    const QVector<StatusSchema::Field> &fields = StatusSchema::fields();
    for (const FieldLimit &f : watchedFields(plan.steps[runningStep])) {
        if (f.field.schemaIndex < 0 || f.field.schemaIndex >= fields.size())
            continue;
        const double v = StatusSchema::value(fields[f.field.schemaIndex], cache);
        const Outcome o = judgedLive(plan.steps[runningStep]) ? judge(f.limit, v) : Outcome::Pass;
        lines.append(QStringLiteral("%1 = %2%3%4")
                         .arg(f.field.name, measuredText(v), f.field.unit.isEmpty() ? QString() : QLatin1Char(' ') + f.field.unit,
                              o == Outcome::Pass ? QString() : QStringLiteral(" (%1)").arg(stateText(o))));
    }
    values->setText(lines.join(QLatin1Char('\n')));
    table->resizeRowToContents(runningStep);
}

bool ProductionTestWd::askOperator(const QString &instruction, QString *note)
{
    QMessageBox box(QMessageBox::Question, tr("生产测试"), instruction, QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("promptDialog"));
    QPushButton *pass = box.addButton(tr("通过"), QMessageBox::YesRole);
    pass->setObjectName(QStringLiteral("btnPromptPass"));
    QPushButton *fail = box.addButton(tr("不通过"), QMessageBox::NoRole);
    fail->setObjectName(QStringLiteral("btnPromptFail"));
    QPushButton *abort = box.addButton(tr("中止测试"), QMessageBox::RejectRole);
    abort->setObjectName(QStringLiteral("btnPromptAbort"));
    box.setDefaultButton(fail);
    box.exec();
    if (box.clickedButton() == pass) {
        *note = QString();
        return true;
    }
    if (box.clickedButton() == abort)
        abortTest();
    *note = QStringLiteral("the operator answered fail");
    return false;
}
