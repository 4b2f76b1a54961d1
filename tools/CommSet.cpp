#include "CommSet.h"
#include "ui_CommSet.h"

#include "SPComm.h"
#include "WindowSettings.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLayout>
#include <QMessageBox>
#include <QScreen>
#include <QStyleOptionComboBox>
#include <QSerialPort>
#include <QSerialPortInfo>

namespace {
// The executor knows the parity by its Chinese name (the list's source
// text); the list shows it in the window's language.
QString parityName(const QString &shown)
{
    for (const char *name : {"无", "奇校验", "偶校验"}) {
        if (shown == QCoreApplication::translate("CommSet", name))
            return QString::fromUtf8(name);
    }
    return shown;
}
} // namespace

CommSet::CommSet(QWidget *parent) : QDialog(parent), ui(new Ui::CommSet)
{
    ui->setupUi(this);
    // A close button in the title bar, no context-help button.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    // Enter confirms the chosen settings. Without this the dialog would make
    // its first button, the port refresh, the default one, and Enter would
    // re-list the ports and select the first instead of the chosen one.
    ui->checkSerial->setAutoDefault(false);
    ui->switchSerial->setDefault(true);
    formMaximum = maximumSize();
}

CommSet::~CommSet()
{
    delete ui;
}

void CommSet::setExtraPorts(const QStringList &names)
{
    extraPorts = names;
}

void CommSet::refreshPortList()
{
    ui->serialName->clear();
    for (const QString &name : qAsConst(extraPorts))
        ui->serialName->addItem(name);
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        // A port that someone holds open cannot be ours; list it again once free.
        if (info.isBusy())
            continue;
        QSerialPort probe;
        probe.setPort(info);
        ui->serialName->addItem(probe.portName());
    }
    preselectLastPort();
    fitLongestName();
}

void CommSet::fitLongestName()
{
    // A /dev/serial/by-id/… name is long: the box is as wide as the
    // longest name listed (within the screen), and the dialog grows beyond
    // the form's width when that needs it.
    QComboBox *names = ui->serialName;
    int longest = 0;
    for (int i = 0; i < names->count(); ++i)
        longest = qMax(longest, names->fontMetrics().horizontalAdvance(names->itemText(i)));
    QStyleOptionComboBox option;
    option.initFrom(names);
    const int probe = 1000;
    option.rect.setWidth(probe);
    const int arrowAndFrame =
        probe - style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, names).width();
    int width = longest + arrowAndFrame;
    if (QScreen *shown = screen())
        width = qMin(width, shown->availableGeometry().width() / 2 + shown->availableGeometry().width() / 4);
    names->setMinimumWidth(width);
    layout()->invalidate();
    setMaximumWidth(qMax(formMaximum.width(), layout()->totalMinimumSize().width()));
}

void CommSet::preselectLastPort()
{
    const QVector<QString> last = WindowSettings::lastPort();
    if (last.size() < 4)
        return;
    QComboBox *const lineBoxes[] = {ui->baudRate, ui->stopBits, ui->paritySelect};
    for (int i = 0; i < 3; ++i) {
        // Remembered as sent (the list's source texts), shown translated.
        const QByteArray remembered = last.at(i + 1).toUtf8();
        const int index = lineBoxes[i]->findText(QCoreApplication::translate("CommSet", remembered.constData()));
        if (index >= 0)
            lineBoxes[i]->setCurrentIndex(index);
    }
    // Ports offered by the caller are its choice. Otherwise the last port is
    // chosen again, listed first when the system does not list it (a stable
    // name such as /dev/serial/by-id/..., a pseudo-terminal), as long as it
    // is there at all.
    if (!extraPorts.isEmpty())
        return;
    int index = ui->serialName->findText(last.at(0));
    if (index < 0 && QFileInfo::exists(SPComm::deviceNodePath(last.at(0)))) {
        ui->serialName->insertItem(0, last.at(0));
        index = 0;
    }
    if (index >= 0)
        ui->serialName->setCurrentIndex(index);
}

void CommSet::showEvent(QShowEvent *event)
{
    refreshPortList();
    QDialog::showEvent(event);
}

void CommSet::on_checkSerial_clicked()
{
    refreshPortList();
}

void CommSet::on_pushButton_clicked()
{
    close();
}

void CommSet::on_switchSerial_clicked()
{
    const QString port = ui->serialName->currentText();
    if (port.isEmpty()) {
        QMessageBox::warning(this, tr("警告"), tr("串口名称不能为空"), QMessageBox::Yes);
        return;
    }
    QVector<QString> info;
    info << port << ui->baudRate->currentText() << ui->stopBits->currentText()
         << parityName(ui->paritySelect->currentText());
    hide();
    emit sendCommInfo(info);
    close();
}
