#ifndef KORVEX_TESTS_WINDOWHARNESS_H
#define KORVEX_TESTS_WINDOWHARNESS_H

// Helpers for driving a whole AdminWd in a test: opening a port through its
// serial settings dialog, reading lamps and fields, answering message boxes,
// and tearing the window down together with the executor's thread.

#include "AdminWd.h"
#include "CommSet.h"
#include "PlCommand.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QtTest>

namespace Harness {

inline QString lineText(AdminWd *w, const QString &name)
{
    auto *edit = w->centralWidget()->findChild<QLineEdit *>(name);
    return edit ? edit->text() : QStringLiteral("<no such field>");
}

// The darkest grey of a field's text as drawn (its frame left out): black
// text is live, washed-out text is not.
inline int darkestInk(AdminWd *w, const char *name)
{
    auto *edit = w->centralWidget()->findChild<QLineEdit *>(QString::fromLatin1(name));
    const QImage image = edit->grab().toImage();
    int darkest = 255;
    for (int y = 4; y < image.height() - 4; ++y) {
        for (int x = 4; x < image.width() - 4; ++x)
            darkest = qMin(darkest, qGray(image.pixel(x, y)));
    }
    return darkest;
}

inline QString logText(AdminWd *w)
{
    return w->findChild<QTextEdit *>(QStringLiteral("textEditDebugInfo"))->toPlainText();
}

inline int logCount(AdminWd *w, const QString &line)
{
    return logText(w).count(line);
}

// FadedGreen and FadedRed: a lamp whose state is not live (no open port,
// or no status reply since the port opened), washed out.
enum class Lamp { Green, Red, FadedGreen, FadedRed, Other, None };

inline Lamp lamp(AdminWd *w, const QString &name)
{
    auto *label = w->centralWidget()->findChild<QLabel *>(name);
    if (!label)
        return Lamp::None;
    const QPixmap pixmap = label->pixmap(Qt::ReturnByValue);
    if (pixmap.isNull())
        return Lamp::None;
    const QRgb px = pixmap.toImage().pixel(5, 5);
    if (px == qRgb(0x00, 0xFF, 0x00))
        return Lamp::Green;
    if (px == qRgb(0xED, 0x1C, 0x24))
        return Lamp::Red;
    if (px == qRgb(0xA8, 0xD8, 0xA8))
        return Lamp::FadedGreen;
    if (px == qRgb(0xE0, 0xAC, 0xAE))
        return Lamp::FadedRed;
    return Lamp::Other;
}

inline void click(AdminWd *w, const char *button)
{
    auto *b = w->centralWidget()->findChild<QPushButton *>(QString::fromLatin1(button));
    QVERIFY2(b, button);
    QTest::mouseClick(b, Qt::LeftButton);
}

// Picks the given port in the serial settings dialog and confirms.
inline void openPort(AdminWd *w, const QString &port)
{
    auto *dialog = w->findChild<CommSet *>();
    QVERIFY(dialog);
    dialog->setExtraPorts({port});
    if (!dialog->isVisible())
        dialog->show();
    dialog->refreshPortList();
    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("switchSerial")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(lineText(w, QStringLiteral("ComNameShow")), port, 5000);
}

// Answers the next modal message box with the given button; records its
// title, text and default button for the caller.
struct BoxAnswer
{
    QString title;
    QString text;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::StandardButtons buttons;
    bool seen = false;
};

inline void answerNextBox(BoxAnswer *record, QMessageBox::StandardButton answer)
{
    auto *timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, record, answer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        record->seen = true;
        record->title = box->windowTitle();
        record->text = box->text();
        record->buttons = box->standardButtons();
        record->defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton())
                                                     : QMessageBox::NoButton;
        timer->stop();
        timer->deleteLater();
        box->button(answer)->click();
    });
    timer->start();
}

// Deletes the window and waits until the executor and its thread are gone.
inline void destroyWindow(AdminWd *&w)
{
    if (!w)
        return;
    QPointer<QThread> worker = w->executor()->workerThread();
    QPointer<PlCommand> executor = w->executor();
    delete w;
    w = nullptr;
    // The executor is deleted on its own thread, which then ends.
    if (worker)
        QVERIFY(worker->wait(10000));
    for (int i = 0; i < 50 && (executor || worker); ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        QTest::qWait(10);
    }
    QVERIFY(!executor);
}

} // namespace Harness

#endif
