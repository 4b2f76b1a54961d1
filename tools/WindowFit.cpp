#include "WindowFit.h"
#include "WindowSettings.h"

#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QWidget>

namespace {

// What a window manager's title bar and border take at least, in the
// window's own units; a real frame, once there is one, counts if larger.
const QMargins LeastFrame(4, 30, 4, 4);
// Spots tried for a new window, this far apart.
constexpr int SpotStep = 16;

// The scroll area asks for its whole content, so the window opens as large
// as the content wants (up to the screen) and scrolls only when smaller.
class WholeContentArea : public QScrollArea
{
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override
    {
        if (!widget())
            return QScrollArea::sizeHint();
        const int frame = 2 * frameWidth();
        return widget()->sizeHint().expandedTo(widget()->minimumSizeHint()) + QSize(frame, frame);
    }
};

class WindowKeeper;
QVector<WindowKeeper *> &keepers()
{
    static QVector<WindowKeeper *> all;
    return all;
}

class WindowKeeper : public QObject
{
public:
    explicit WindowKeeper(QWidget *kept) : QObject(kept), window(kept)
    {
        keepers().append(this);
        saveLater.setSingleShot(true);
        saveLater.setInterval(400); // a drag moves many times: its end is kept
        connect(&saveLater, &QTimer::timeout, this, &WindowKeeper::remember);
        kept->installEventFilter(this);
    }
    ~WindowKeeper() override { keepers().removeAll(this); }

    void remember()
    {
        saveLater.stop();
        if (placed && !window->objectName().isEmpty())
            WindowSettings::setWindowGeometry(window->objectName(), window->geometry());
    }

    QRect frame() const { return window->geometry().marginsAdded(WindowFit::frameAllowance(window)); }
    bool isShown() const { return window->isVisible(); }
    // A tool window that is open: neither the main window nor a dialog,
    // which goes again soon.
    bool isShownTool() const
    {
        return window->isVisible() && window->parentWidget() && !qobject_cast<QDialog *>(window);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Show:
            if (!placed) {
                placed = true;
                place();
            }
            break;
        case QEvent::Hide:
            remember();
            break;
        case QEvent::Move:
        case QEvent::Resize:
            if (placed && window->isVisible())
                saveLater.start();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void place();

    QWidget *window;
    QTimer saveLater;
    bool placed = false;
};

QScreen *screenOf(QWidget *window)
{
    QWidget *owner = window->parentWidget() ? window->parentWidget()->window() : window;
    if (QScreen *screen = QGuiApplication::screenAt(owner->geometry().center()))
        return screen;
    return QGuiApplication::primaryScreen();
}

QPoint clampedInto(const QRect &room, const QRect &rect)
{
    return QPoint(qBound(room.left(), rect.left(), qMax(room.left(), room.right() - rect.width() + 1)),
                  qBound(room.top(), rect.top(), qMax(room.top(), room.bottom() - rect.height() + 1)));
}

void WindowKeeper::place()
{
    QScreen *screen = screenOf(window);
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QMargins margins = WindowFit::frameAllowance(window);
    const QRect room = area.marginsRemoved(margins);
    const QSize least = window->minimumSizeHint().expandedTo(window->minimumSize());

    // Where it was last, if the screen still has room for it there.
    const QRect last = WindowSettings::windowGeometry(window->objectName());
    if (last.isValid() && room.contains(last) && last.width() >= least.width() && last.height() >= least.height()) {
        window->setGeometry(last);
        return;
    }

    QSize size = window->size().expandedTo(window->sizeHint()).boundedTo(room.size()).expandedTo(least);
    QRect placed(window->geometry().topLeft(), size);
    if (!window->parentWidget()) {
        placed.moveCenter(room.center());
    } else if (qobject_cast<QDialog *>(window)) {
        // A dialog opens over the middle of the window that opened it.
        placed.moveCenter(window->parentWidget()->window()->geometry().center());
    } else {
        QVector<QRect> taken;
        for (WindowKeeper *other : keepers()) {
            if (other != this && other->isShownTool())
                taken << other->frame();
        }
        // Where its size covers another window, the largest smaller size
        // that keeps clear of more: lower first, then narrower too, never
        // below half its size (a window smaller than its controls scrolls).
        using WindowFit::Clearance;
        Clearance clearance;
        QPoint spot = WindowFit::freeSpot(area, size.grownBy(margins), taken, margins.top(), &clearance);
        const QSize wanted = size;
        const QSize floor = least.expandedTo(wanted / 2).boundedTo(wanted);
        QVector<QSize> smaller;
        for (int part = 3; part >= 0; --part)
            smaller << QSize(wanted.width(), floor.height() + (wanted.height() - floor.height()) * part / 4);
        for (int part = 3; part >= 0; --part)
            smaller << floor + (wanted - floor) * part / 4;
        for (const QSize &trial : qAsConst(smaller)) {
            if (clearance == Clearance::Clear)
                break;
            Clearance found;
            const QPoint at = WindowFit::freeSpot(area, trial.grownBy(margins), taken, margins.top(), &found);
            if (found > clearance) {
                clearance = found;
                spot = at;
                size = trial;
                break;
            }
        }
        placed.setSize(size);
        placed.moveTopLeft(spot + QPoint(margins.left(), margins.top()));
    }
    placed.moveTopLeft(clampedInto(room, placed));
    window->setGeometry(placed);
}

} // namespace

namespace WindowFit {

QMargins frameAllowance(const QWidget *window)
{
    const QRect inner = window->geometry();
    const QRect outer = window->frameGeometry();
    return QMargins(qMax(LeastFrame.left(), inner.left() - outer.left()),
                    qMax(LeastFrame.top(), inner.top() - outer.top()),
                    qMax(LeastFrame.right(), outer.right() - inner.right()),
                    qMax(LeastFrame.bottom(), outer.bottom() - inner.bottom()));
}

QPoint freeSpot(const QRect &area, const QSize &frame, const QVector<QRect> &taken, int titleHeight,
                Clearance *clearance)
{
    Clearance found = Clearance::Covers;
    if (clearance)
        *clearance = found;
    if (frame.width() > area.width() || frame.height() > area.height())
        return area.topLeft();
    // Each row and column of spots ends with the one flush with the edge.
    const auto spots = [](int first, int last) {
        QVector<int> at;
        for (int v = first; v < last; v += SpotStep)
            at << v;
        at << last;
        return at;
    };
    const QVector<int> xs = spots(area.left(), area.right() + 1 - frame.width());
    const QVector<int> ys = spots(area.top(), area.bottom() + 1 - frame.height());
    bool titlesFree = false;
    QPoint clearOfTitles = area.topLeft();
    for (int y : ys) {
        for (int x : xs) {
            const QRect candidate(QPoint(x, y), frame);
            bool clear = true;
            bool titles = true;
            for (const QRect &other : taken) {
                clear = clear && !candidate.intersects(other);
                titles = titles && !candidate.intersects(QRect(other.topLeft(), QSize(other.width(), titleHeight)));
            }
            if (clear) {
                if (clearance)
                    *clearance = Clearance::Clear;
                return candidate.topLeft();
            }
            if (titles && !titlesFree) {
                titlesFree = true;
                clearOfTitles = candidate.topLeft();
            }
        }
    }
    if (clearance && titlesFree)
        *clearance = Clearance::ClearOfTitles;
    return clearOfTitles;
}

void scrollWhenSmall(QMainWindow *window)
{
    QWidget *content = window->takeCentralWidget();
    auto *area = new WholeContentArea(window);
    area->setObjectName(QStringLiteral("centralScrollArea"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(content);
    window->setCentralWidget(area);
}

void keepOnScreen(QWidget *window)
{
    new WindowKeeper(window);
}

void rememberOpenWindows()
{
    for (WindowKeeper *keeper : keepers()) {
        if (keeper->isShown())
            keeper->remember();
    }
}

} // namespace WindowFit
