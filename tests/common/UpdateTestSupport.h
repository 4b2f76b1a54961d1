#ifndef KORVEX_TESTS_UPDATETESTSUPPORT_H
#define KORVEX_TESTS_UPDATETESTSUPPORT_H

// Helpers for driving the update window from tests: a catcher that reads and
// closes its message boxes, a window whose file choosers answer from the test,
// and lrzsz's sb/rb running on the device side of a pseudo-terminal.

#include "TiedProcess.h"
#include "UpdateWidget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

struct SeenMessage {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
};

// Every 20 ms: records each message box on screen and presses its button.
class MessageCatcher : public QObject
{
public:
    MessageCatcher()
    {
        connect(&timer, &QTimer::timeout, this, [this] { sweep(); });
        timer.start(20);
    }
    QList<SeenMessage> seen;

private:
    void sweep()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box || !box->isVisible() || handled.contains(box))
                continue;
            handled.append(box);
            SeenMessage m{box->windowTitle(), box->text(), box->icon(), {}};
            for (QAbstractButton *b : box->buttons())
                m.buttons.append(b->text());
            seen.append(m);
            if (!box->buttons().isEmpty())
                box->buttons().first()->click();
        }
        // Closed boxes are deleted; forget them so a new box at the same
        // address is caught again.
        for (int i = handled.size() - 1; i >= 0; --i) {
            bool alive = false;
            for (QWidget *w : QApplication::topLevelWidgets())
                alive = alive || (w == handled[i] && w->isVisible());
            if (!alive)
                handled.removeAt(i);
        }
    }
    QTimer timer;
    QList<QObject *> handled;
};

// The window with its desktop choosers answered by the test.
class ScriptedUpdateWidget : public UpdateWidget
{
public:
    using UpdateWidget::UpdateWidget;
    QString nextFile;
    QString nextDirectory;

protected:
    QString chooseSourceFile() override { return nextFile; }
    QString chooseTargetDirectory() override { return nextDirectory; }
};

// lrzsz on the device side of a pty: the window opens slavePath(); sb or rb
// runs on pipes, and this relays between them and the pty's master. lrzsz
// flushes its terminal on exit, which on a pty can discard its last byte
// (rb's final ACK) before the window has read it; a real UART does not do
// that, and pipes do not either.
class LrzszPeer : public QObject
{
public:
    LrzszPeer()
    {
        char name[256] = {0};
        if (::openpty(&master, &keeper, name, nullptr, nullptr) != 0)
            return;
        struct termios t;
        for (int fd : {master, keeper}) {
            if (::tcgetattr(fd, &t) == 0) {
                ::cfmakeraw(&t);
                ::tcsetattr(fd, TCSANOW, &t);
            }
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        path = QString::fromLocal8Bit(name);
        notifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] { fromLine(); });
        connect(&process, &QProcess::readyReadStandardOutput, this, [this] { toLine(process.readAllStandardOutput()); });
    }
    ~LrzszPeer() override
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
        delete notifier;
        if (master >= 0)
            ::close(master);
        if (keeper >= 0)
            ::close(keeper);
    }
    bool isValid() const { return master >= 0; }
    QString slavePath() const { return path; }

    // Runs e.g. "sb -q file" or "rb -q" in `directory`.
    bool start(const QString &command, const QString &directory)
    {
        process.setWorkingDirectory(directory);
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec ") + command});
        return process.waitForStarted(5000);
    }

    TiedProcess process; // ends with the test, even a crashed one

private:
    void fromLine()
    {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                return;
            if (process.state() == QProcess::Running)
                process.write(buf, qint64(n));
        }
    }
    void toLine(const QByteArray &bytes)
    {
        int done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += int(n);
            else
                QThread::msleep(1); // the line's buffer is full: the window reads it
        }
    }

    int master = -1;
    int keeper = -1;
    QString path;
    QSocketNotifier *notifier = nullptr;
};

#endif
