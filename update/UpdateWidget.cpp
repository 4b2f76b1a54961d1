#include "UpdateWidget.h"

#include "YmodemSerialLink.h"
#include "ui_UpdateWidget.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QMetaEnum>
#include <QPushButton>
#include <QSerialPort>
#include <QSerialPortInfo>

UpdateWidget::UpdateWidget(QWidget *parent)
    : QWidget(parent), ui(new Ui::UpdateWidget), serialPort(new QSerialPort), transmitter(new YmodemFileTransmit),
      receiver(new YmodemFileReceive), transmitActive(false), receiveActive(false), portOpen(false)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    // The list is taken once; a port plugged in later needs a new window.
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        systemPorts.append(info.portName());
    fillPortList();

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

void UpdateWidget::fillPortList()
{
    ui->comPort->clear();
    ui->comPort->addItems(extraPorts);
    ui->comPort->addItems(systemPorts);
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
    emit transferEnded(true, ui->transmitPath->text(), status == YmodemFileTransmit::StatusFinished,
                       transferOutcome(QMetaEnum::fromType<YmodemFileTransmit::Status>().valueToKey(status),
                                       transmitter->failureReason()));
    if (status == YmodemFileTransmit::StatusFinished)
        showMessage(tr("成功"), tr("文件发送成功！"));
    else
        showMessage(tr("失败"), tr("文件发送失败！"));
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
    emit transferEnded(false, receiver->targetPath(), status == YmodemFileReceive::StatusFinished,
                       transferOutcome(QMetaEnum::fromType<YmodemFileReceive::Status>().valueToKey(status),
                                       receiver->failureReason()));
    if (status == YmodemFileReceive::StatusFinished)
        showMessage(tr("成功"), tr("文件接收成功！"));
    else
        showMessage(tr("失败"), tr("文件接收失败！"));
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
