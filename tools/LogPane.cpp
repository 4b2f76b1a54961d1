#include "LogPane.h"

#include "WindowSettings.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QHelpEvent>
#include <QMenu>
#include <QMessageBox>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextEdit>
#include <QToolTip>

LogPane::LogPane(QTextEdit *view, QObject *parent)
    : QObject(parent),
      view(view),
      viewport(view->viewport()),
      saveLog(new QAction(tr("保存日志…"), this)),
      clearLog(new QAction(tr("清空日志"), this)),
      showTimes(new QAction(tr("显示时间"), this))
{
    showTimes->setObjectName(QStringLiteral("actionLogTimes"));
    showTimes->setCheckable(true);
    showTimes->setChecked(WindowSettings::logTimes());
    connect(showTimes, &QAction::toggled, this, [this](bool on) {
        WindowSettings::setLogTimes(on);
        rebuild();
    });
    saveLog->setObjectName(QStringLiteral("actionSaveLog"));
    clearLog->setObjectName(QStringLiteral("actionClearLog"));
    connect(saveLog, &QAction::triggered, this, &LogPane::askAndSave);
    connect(clearLog, &QAction::triggered, this, &LogPane::clear);
    limitLines(view);
    viewport->installEventFilter(this);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QTextEdit::customContextMenuRequested, this, &LogPane::showMenu);
}

void LogPane::limitLines(QTextEdit *view)
{
    view->document()->setMaximumBlockCount(ShownLines);
}

void LogPane::append(const QString &text)
{
    log.append({QDateTime::currentDateTime(), port, text});
    appendShown(log.size() - 1);
}

QString LogPane::shownLine(const Entry &entry) const
{
    if (!showTimes->isChecked())
        return entry.text;
    return entry.time.toString(QStringLiteral("HH:mm:ss.zzz ")) + entry.text;
}

void LogPane::appendShown(int index)
{
    view->append(shownLine(log.at(index)));
    // The lines this entry added are the last ones still unmarked.
    for (QTextBlock block = view->document()->lastBlock(); block.isValid() && block.userState() < 0;
         block = block.previous())
        block.setUserState(index);
}

void LogPane::rebuild()
{
    view->clear();
    for (int i = qMax(0, log.size() - ShownLines); i < log.size(); ++i)
        appendShown(i);
}

void LogPane::setPort(const QString &name)
{
    port = name;
}

int LogPane::entryAt(int blockNumber) const
{
    const int index = view->document()->findBlockByNumber(blockNumber).userState();
    return index >= 0 && index < log.size() ? index : -1;
}

bool LogPane::saveTo(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        *error = file.errorString();
        return false;
    }
    for (const Entry &entry : log) {
        const QString text = entry.text.simplified();
        const QString line = entry.time.toOffsetFromUtc(entry.time.offsetFromUtc()).toString(Qt::ISODateWithMs)
            + QLatin1Char('\t') + (entry.port.isEmpty() ? QStringLiteral("-") : entry.port) + QLatin1Char('\t')
            + text + QLatin1Char('\n');
        file.write(line.toUtf8());
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

void LogPane::clear()
{
    log.clear();
    view->clear();
}

void LogPane::askAndSave()
{
    const QString path = QFileDialog::getSaveFileName(view->window(), tr("保存日志…"), QString(),
                                                      tr("日志文件 (*.log *.txt)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!saveTo(path, &error))
        QMessageBox::warning(view->window(), tr("警告"), tr("无法保存日志 %1：%2").arg(path, error));
}

void LogPane::showMenu(const QPoint &pos)
{
    QMenu *menu = view->createStandardContextMenu(pos);
    menu->addSeparator();
    menu->addAction(saveLog);
    menu->addAction(clearLog);
    menu->addAction(showTimes);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(view->viewport()->mapToGlobal(pos));
}

bool LogPane::eventFilter(QObject *watched, QEvent *event)
{
    // The viewport also sends its last events while the text view is being
    // destroyed, when the view is no longer a scroll area: compare with the
    // pointer kept at construction instead of asking the view.
    if (event->type() == QEvent::ToolTip && watched == viewport) {
        auto *help = static_cast<QHelpEvent *>(event);
        const int index = entryAt(view->cursorForPosition(help->pos()).blockNumber());
        if (index >= 0)
            QToolTip::showText(help->globalPos(), log.at(index).time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                               view->viewport());
        else
            QToolTip::hideText();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
