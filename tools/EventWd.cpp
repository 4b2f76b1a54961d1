#include "EventWd.h"

#include "EventLog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

EventWd::EventWd(EventLog *events, QWidget *parent) : QMainWindow(parent), events(events)
{
    setObjectName(QStringLiteral("EventWd"));
    setWindowTitle(tr("事件记录"));
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    auto *controls = new QHBoxLayout;
    controls->addWidget(new QLabel(tr("类型"), central));
    kindFilter = new QComboBox(central);
    kindFilter->setObjectName(QStringLiteral("comboBoxEventKind"));
    kindFilter->addItem(tr("全部"), -1);
    for (int kind = 0; kind < EventLog::KindCount; ++kind)
        kindFilter->addItem(EventLog::kindName(EventLog::Kind(kind)), kind);
    controls->addWidget(kindFilter);
    controls->addStretch();
    auto *save = new QPushButton(tr("保存为 CSV…"), central);
    save->setObjectName(QStringLiteral("btnSaveEvents"));
    auto *clear = new QPushButton(tr("清空"), central);
    clear->setObjectName(QStringLiteral("btnClearEvents"));
    controls->addWidget(save);
    controls->addWidget(clear);
    layout->addLayout(controls);

    table = new QTableWidget(0, EventLog::header().size(), central);
    table->setObjectName(QStringLiteral("tableEvents"));
    table->setHorizontalHeaderLabels(EventLog::header());
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(table);
    setCentralWidget(central);
    resize(860, 420);

    connect(kindFilter, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &EventWd::rebuild);
    connect(save, &QPushButton::clicked, this, &EventWd::askAndSave);
    connect(clear, &QPushButton::clicked, events, &EventLog::clear);
    connect(events, &EventLog::added, this, [this](int index) {
        if (passes(index))
            showRow(index);
    });
    connect(events, &EventLog::changed, this, &EventWd::rebuild);
    connect(events, &EventLog::cleared, this, &EventWd::rebuild);
    rebuild();
}

bool EventWd::passes(int index) const
{
    const int kind = kindFilter->currentData().toInt();
    return kind < 0 || events->events().at(index).kind == kind;
}

void EventWd::showRow(int index)
{
    const QStringList cells = EventLog::cells(events->events().at(index));
    const int row = table->rowCount();
    table->insertRow(row);
    for (int column = 0; column < cells.size(); ++column) {
        auto *item = new QTableWidgetItem(cells[column]);
        item->setData(Qt::UserRole, index);
        table->setItem(row, column, item);
    }
    // An alarm still on stands out.
    if (events->events().at(index).kind == EventLog::Alarm && events->events().at(index).open)
        for (int column = 0; column < cells.size(); ++column)
            table->item(row, column)->setForeground(QColor(0xc0, 0x00, 0x00));
    table->scrollToBottom();
}

void EventWd::rebuild()
{
    table->setRowCount(0);
    for (int i = 0; i < events->events().size(); ++i) {
        if (passes(i))
            showRow(i);
    }
}

QVector<QStringList> EventWd::shownRows() const
{
    QVector<QStringList> rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column)
            cells << table->item(row, column)->text();
        rows << cells;
    }
    return rows;
}

bool EventWd::saveTo(const QString &path)
{
    QString error;
    if (events->saveCsv(path, &error)) {
        statusBar()->showMessage(tr("已保存 %1").arg(path), 5000);
        return true;
    }
    QMessageBox::warning(this, tr("警告"), tr("无法保存事件 %1：%2").arg(path, error));
    return false;
}

void EventWd::askAndSave()
{
    const QString name = QStringLiteral("korvex-events-%1.csv")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString path = QFileDialog::getSaveFileName(this, tr("保存为 CSV…"), name, tr("CSV 文件 (*.csv)"), nullptr,
                                                      QFileDialog::DontUseNativeDialog);
    if (!path.isEmpty())
        saveTo(path);
}
