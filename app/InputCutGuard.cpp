#include "InputCutGuard.h"

#include <QAbstractSpinBox>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolTip>

namespace {

const char MarkStyle[] = "QAbstractSpinBox { border: 2px solid #d00000; }";

QLineEdit *editOf(QAbstractSpinBox *box)
{
    return box->findChild<QLineEdit *>();
}

// The text the key would leave in the box, or empty for a key that types
// nothing (movement, deletion, shortcuts).
QString textAfterKey(QAbstractSpinBox *box, const QKeyEvent *key)
{
    const QString typed = key->text();
    if (typed.isEmpty() || !typed.at(0).isPrint() || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return QString();
    QLineEdit *edit = editOf(box);
    if (!edit)
        return QString();
    QString text = edit->text();
    int pos = edit->cursorPosition();
    if (edit->hasSelectedText()) {
        pos = edit->selectionStart();
        text.remove(pos, edit->selectedText().size());
    }
    return text.insert(pos, typed);
}

QString rangeText(QAbstractSpinBox *box)
{
    if (auto *spin = qobject_cast<QSpinBox *>(box))
        return QStringLiteral("%1–%2%3").arg(spin->minimum()).arg(spin->maximum()).arg(spin->suffix());
    if (auto *spin = qobject_cast<QDoubleSpinBox *>(box))
        return QStringLiteral("%1–%2%3")
            .arg(spin->minimum(), 0, 'f', spin->decimals())
            .arg(spin->maximum(), 0, 'f', spin->decimals())
            .arg(spin->suffix());
    return QString();
}

} // namespace

InputCutGuard::InputCutGuard(QObject *parent) : QObject(parent) {}

void InputCutGuard::watch(QAbstractSpinBox *box)
{
    box->installEventFilter(this);
}

void InputCutGuard::clear(QAbstractSpinBox *box)
{
    if (!cut.remove(box))
        return;
    box->setStyleSheet(QString());
}

void InputCutGuard::mark(QAbstractSpinBox *box)
{
    cut.insert(box);
    box->setStyleSheet(QLatin1String(MarkStyle));
    const QString text = tr("超出范围 %1：多余的输入未被接受，此值不会发送").arg(rangeText(box));
    QToolTip::showText(box->mapToGlobal(QPoint(0, box->height())), text, box);
}

bool InputCutGuard::eventFilter(QObject *watched, QEvent *event)
{
    auto *box = qobject_cast<QAbstractSpinBox *>(watched);
    if (box && event->type() == QEvent::KeyPress) {
        const QString after = textAfterKey(box, static_cast<QKeyEvent *>(event));
        if (!after.isEmpty()) {
            int pos = after.size();
            QString probe = after;
            if (box->validate(probe, pos) == QValidator::Invalid)
                mark(box);
            else
                clear(box);
        } else if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Backspace
                   || static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
            clear(box); // the operator is correcting the text
        }
    }
    return QObject::eventFilter(watched, event);
}
