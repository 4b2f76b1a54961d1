#ifndef KORVEX_INPUTCUTGUARD_H
#define KORVEX_INPUTCUTGUARD_H

#include <QObject>
#include <QSet>

class QAbstractSpinBox;

// A spin box silently drops a key that would take its text out of range:
// "200" typed into a 20.0–50.0 box shows 20, which would be saved as if
// meant. The guard watches the boxes it is given, marks such a box (red
// frame, a tool tip naming the range) and keeps it marked until the
// operator types a key the box takes; a marked value is not sent.
class InputCutGuard : public QObject
{
    Q_OBJECT
public:
    explicit InputCutGuard(QObject *parent);

    void watch(QAbstractSpinBox *box);
    bool wasCut(QAbstractSpinBox *box) const { return cut.contains(box); }
    // A value shown that did not come from the keyboard (the device's).
    void clear(QAbstractSpinBox *box);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void mark(QAbstractSpinBox *box);

    QSet<QAbstractSpinBox *> cut;
};

#endif
