#include "UpdateWidget.h"

#include "YmodemSerialLink.h"
#include "ui_UpdateWidget.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMetaMethod>
#include <QMessageBox>
#include <QMetaEnum>
#include <QPushButton>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QStyle>
#include <QToolButton>

UpdateWidget::UpdateWidget(QWidget *parent)
    : QWidget(parent), ui(new Ui::UpdateWidget), serialPort(new QSerialPort), transmitter(new YmodemFileTransmit),
      receiver(new YmodemFileReceive), transmitActive(false), receiveActive(false), portOpen(false)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    // A boot loader may come back as another node, a udev link or a
    // /dev/serial/by-id name: the field takes any typed name.
    ui->comPort->setEditable(true);
    ui->comPort->setInsertPolicy(QComboBox::NoInsert);
    ui->comPort->lineEdit()->setPlaceholderText(tr("端口名或路径"));
    ui->comPort->setToolTip(tr("可直接输入端口名，如 /dev/serial/by-id/…"));
    // An icon: the row has no room for another word in either language.
    auto *refresh = new QToolButton(this);
    refresh->setObjectName(QStringLiteral("comRefresh"));
    refresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    refresh->setAccessibleName(tr("刷新"));
    refresh->setToolTip(tr("重新列出系统中的串口"));
    ui->horizontalLayout->insertWidget(ui->horizontalLayout->indexOf(ui->comPort) + 1, refresh);
    connect(refresh, &QToolButton::clicked, this, &UpdateWidget::refreshPortList);
    // Offered once a transfer has ended: the device link takes the port back
    // and the main window logs the firmware the device now reports.
    reopenButton = new QPushButton(tr("重新连接设备"), this);
    reopenButton->setObjectName(QStringLiteral("reopenDeviceButton"));
    reopenButton->setToolTip(tr("关闭本窗口的串口，由主窗口重新打开设备串口并读取固件版本"));
    reopenButton->hide();
    ui->horizontalLayout_3->addWidget(reopenButton);
    connect(reopenButton, &QPushButton::clicked, this, &UpdateWidget::giveBackPort);
    connect(ui->comPort->lineEdit(), &QLineEdit::textEdited, this, [this](const QString &text) { typedPort = text; });
    connect(ui->comPort, QOverload<int>::of(&QComboBox::activated), this, [this] { typedPort.clear(); });
    refreshPortList();

    YmodemSerialLink::applyDefaults(serialPort);

    connect(transmitter, &YmodemFileTransmit::transmitProgress, this, &UpdateWidget::transmitProgress);
    connect(transmitter, &YmodemFileTransmit::transmitStatus, this, &UpdateWidget::transmitStatus);
    connect(receiver, &YmodemFileReceive::receiveProgress, this, &UpdateWidget::receiveProgress);
    connect(receiver, &YmodemFileReceive::receiveStatus, this, &UpdateWidget::receiveStatus);
}

UpdateWidget::~UpdateWidget()
{
    delete ui;
    delete serialPort;
    delete transmitter;
    delete receiver;
}

void UpdateWidget::setExtraPorts(const QStringList &names)
{
    extraPorts = names;
    if (!portOpen)
        fillPortList();
}

void UpdateWidget::setPreferredPort(const QString &name)
{
    preferredPort = name;
    if (!portOpen)
        fillPortList();
}

void UpdateWidget::refreshPortList()
{
    if (portOpen)
        return; // the open port's name stays what it was opened by
    systemPorts.clear();
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        systemPorts.append(info.portName());
    fillPortList();
}

void UpdateWidget::fillPortList()
{
    QStringList names;
    if (!preferredPort.isEmpty())
        names.append(preferredPort);
    for (const QString &name : extraPorts + systemPorts) {
        if (!names.contains(name))
            names.append(name);
    }
    ui->comPort->clear();
    ui->comPort->addItems(names);
    // A name the operator typed survives the refresh.
    if (!typedPort.isEmpty())
        ui->comPort->setEditText(typedPort);
}

void UpdateWidget::showEvent(QShowEvent *event)
{
    refreshPortList();
    QWidget::showEvent(event);
}

int UpdateWidget::chosenBaud() const
{
    return ui->comBaudRate->currentText().toInt(nullptr, 10);
}

void UpdateWidget::showMessage(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, this);
    box.addButton(tr("关闭"), QMessageBox::AcceptRole);
    box.exec();
}

void UpdateWidget::on_comButton_clicked()
{
    if (portOpen)
        closePort();
    else
        openPort();
}

void UpdateWidget::openPort()
{
    serialPort->setPortName(ui->comPort->currentText());
    serialPort->setBaudRate(chosenBaud(), QSerialPort::AllDirections);
    if (!serialPort->open(QIODevice::ReadWrite)) {
        showMessage(tr("串口打开失败"), tr("请检查串口是否已被占用！"));
        return;
    }
    portOpen = true;
    ui->comPort->setEnabled(false);
    ui->comBaudRate->setEnabled(false);
    ui->comButton->setText(tr("关闭串口"));
    ui->transmitBrowse->setEnabled(true);
    ui->receiveBrowse->setEnabled(true);
    ui->transmitButton->setEnabled(!ui->transmitPath->text().isEmpty());
    ui->receiveButton->setEnabled(!ui->receivePath->text().isEmpty());
}

void UpdateWidget::closePort()
{
    portOpen = false;
    serialPort->close();
    ui->comPort->setEnabled(true);
    ui->comBaudRate->setEnabled(true);
    ui->comButton->setText(tr("打开串口"));
    ui->transmitBrowse->setEnabled(false);
    ui->transmitButton->setEnabled(false);
    ui->receiveBrowse->setEnabled(false);
    ui->receiveButton->setEnabled(false);
}

QString UpdateWidget::chooseSourceFile()
{
    return QFileDialog::getOpenFileName(this, tr("打开文件"), QStringLiteral("."), tr("任意文件 (*.*)"));
}

QString UpdateWidget::chooseTargetDirectory()
{
    return QFileDialog::getExistingDirectory(this, tr("选择目录"), QStringLiteral("."), QFileDialog::ShowDirsOnly);
}

void UpdateWidget::on_transmitBrowse_clicked()
{
    ui->transmitPath->setText(chooseSourceFile());
    ui->transmitButton->setEnabled(!ui->transmitPath->text().isEmpty());
}

void UpdateWidget::on_receiveBrowse_clicked()
{
    ui->receivePath->setText(chooseTargetDirectory());
    ui->receiveButton->setEnabled(!ui->receivePath->text().isEmpty());
}

void UpdateWidget::on_transmitButton_clicked()
{
    if (transmitActive) {
        transmitter->stopTransfer(); // the end comes later through transmitStatus
        return;
    }
    // The sender opens the port itself; ours would stand in its way.
    serialPort->close();
    transmitter->setSourceFile(ui->transmitPath->text());
    transmitter->setPort(ui->comPort->currentText());
    transmitter->setBaud(chosenBaud());
    if (!transmitter->startTransfer()) {
        showMessage(tr("失败"), tr("文件发送失败！"));
        return;
    }
    transmitActive = true;
    reopenButton->hide();
    transferFile = ui->transmitPath->text();
    transferClock.start();
    ui->comButton->setEnabled(false);
    ui->receiveBrowse->setEnabled(false);
    ui->receiveButton->setEnabled(false);
    ui->transmitBrowse->setEnabled(false);
    ui->transmitButton->setText(tr("取消"));
    ui->transmitProgress->setValue(0);
}

void UpdateWidget::on_receiveButton_clicked()
{
    if (receiveActive) {
        receiver->stopTransfer();
        return;
    }
    serialPort->close();
    receiver->setTargetDirectory(ui->receivePath->text());
    receiver->setPort(ui->comPort->currentText());
    receiver->setBaud(chosenBaud());
    if (!receiver->startTransfer()) {
        showMessage(tr("失败"), tr("文件接收失败！"));
        return;
    }
    receiveActive = true;
    reopenButton->hide();
    transferClock.start();
    ui->comButton->setEnabled(false);
    ui->transmitBrowse->setEnabled(false);
    ui->transmitButton->setEnabled(false);
    ui->receiveBrowse->setEnabled(false);
    ui->receiveButton->setText(tr("取消"));
    ui->receiveProgress->setValue(0);
}

void UpdateWidget::transmitProgress(int progress)
{
    ui->transmitProgress->setValue(progress);
}

void UpdateWidget::receiveProgress(int progress)
{
    ui->receiveProgress->setValue(progress);
}

// "Finished", or "Failed (why)": the status's own name and the engine's reason.
static QString transferOutcome(const char *status, const QString &reason)
{
    const QString name = QString::fromLatin1(status).remove(QStringLiteral("Status"));
    return reason.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, reason);
}

void UpdateWidget::transmitStatus(YmodemFileTransmit::Status status)
{
    if (status == YmodemFileTransmit::StatusStarted || status == YmodemFileTransmit::StatusTransferring)
        return;
    transmitActive = false;
    ui->comButton->setEnabled(true);
    ui->receiveBrowse->setEnabled(true);
    ui->receiveButton->setEnabled(!ui->receivePath->text().isEmpty());
    ui->transmitBrowse->setEnabled(true);
    ui->transmitButton->setText(tr("发送"));
    // After a failure the window keeps its port-open layout, so the operator
    // can pick another file and try again at once.
    if (status != YmodemFileTransmit::StatusFailed)
        closePort();
    const bool finished = status == YmodemFileTransmit::StatusFinished;
    emit transferLogLine(transferSummary(true, finished, transmitter->failureReason()));
    emit transferEnded(true, ui->transmitPath->text(), status == YmodemFileTransmit::StatusFinished,
                       transferOutcome(QMetaEnum::fromType<YmodemFileTransmit::Status>().valueToKey(status),
                                       transmitter->failureReason()));
    if (status == YmodemFileTransmit::StatusFinished)
        showMessage(tr("成功"), tr("文件发送成功！"));
    else
        showMessage(tr("失败"), tr("文件发送失败！"));
    offerDeviceReopen();
}

void UpdateWidget::receiveStatus(YmodemFileReceive::Status status)
{
    if (status == YmodemFileReceive::StatusStarted || status == YmodemFileReceive::StatusTransferring)
        return;
    receiveActive = false;
    ui->comButton->setEnabled(true);
    ui->transmitBrowse->setEnabled(true);
    ui->transmitButton->setEnabled(!ui->transmitPath->text().isEmpty());
    ui->receiveBrowse->setEnabled(true);
    ui->receiveButton->setText(tr("接收"));
    // A receive always leaves the port-open layout.
    const bool finished = status == YmodemFileReceive::StatusFinished;
    transferFile = receiver->targetPath();
    emit transferLogLine(transferSummary(false, finished, receiver->failureReason()));
    emit transferEnded(false, receiver->targetPath(), status == YmodemFileReceive::StatusFinished,
                       transferOutcome(QMetaEnum::fromType<YmodemFileReceive::Status>().valueToKey(status),
                                       receiver->failureReason()));
    if (status == YmodemFileReceive::StatusFinished)
        showMessage(tr("成功"), tr("文件接收成功！"));
    else
        showMessage(tr("失败"), tr("文件接收失败！"));
    offerDeviceReopen();
}

QString UpdateWidget::transferSummary(bool sent, bool finished, const QString &reason) const
{
    const quint64 bytes = sent ? transmitter->transferredBytes() : receiver->transferredBytes();
    const QString seconds = QString::number(transferClock.elapsed() / 1000.0, 'f', 1);
    if (finished)
        return (sent ? tr("文件发送完成：%1，%2 字节，用时 %3 秒") : tr("文件接收完成：%1，%2 字节，用时 %3 秒"))
            .arg(transferFile).arg(bytes).arg(seconds);
    const QString why = reason.isEmpty() ? tr("原因不明") : reason;
    return (sent ? tr("文件发送失败：%1，已传 %2 字节，用时 %3 秒，原因：%4")
                 : tr("文件接收失败：%1，已传 %2 字节，用时 %3 秒，原因：%4"))
        .arg(transferFile.isEmpty() ? ui->receivePath->text() : transferFile)
        .arg(bytes)
        .arg(seconds, why);
}

void UpdateWidget::offerDeviceReopen()
{
    // Only a window hosted beside a device link has a link to give back.
    if (isSignalConnected(QMetaMethod::fromSignal(&UpdateWidget::reopenDevicePort))
        && !ui->comPort->currentText().isEmpty())
        reopenButton->show();
}

void UpdateWidget::giveBackPort()
{
    const QString port = ui->comPort->currentText();
    reopenButton->hide();
    // The device link opens the port itself: this window lets go of it.
    if (serialPort->isOpen())
        closePort();
    hide();
    emit reopenDevicePort(port);
}

void UpdateWidget::closeEvent(QCloseEvent *event)
{
    if (transmitActive)
        transmitter->stopTransfer();
    if (serialPort->isOpen())
        closePort();
    // A running receive goes on in the background; its end is still reported.
    event->accept();
}
