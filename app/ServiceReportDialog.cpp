#include "ServiceReportDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

ServiceReportDialog::ServiceReportDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ServiceReportDialog"));
    setWindowTitle(tr("导出服务报告"));
    auto *form = new QFormLayout(this);
    technician = new QLineEdit(this);
    technician->setObjectName(QStringLiteral("lineEditTechnician"));
    form->addRow(tr("技术员"), technician);
    notes = new QPlainTextEdit(this);
    notes->setObjectName(QStringLiteral("textEditNotes"));
    form->addRow(tr("备注"), notes);
    paper = new QComboBox(this);
    paper->setObjectName(QStringLiteral("comboBoxPaper"));
    paper->addItem(QStringLiteral("A4"), int(QPageSize::A4));
    paper->addItem(QStringLiteral("Letter"), int(QPageSize::Letter));
    form->addRow(tr("纸张"), paper);
    chartSpan = new QComboBox(this);
    chartSpan->setObjectName(QStringLiteral("comboBoxChartSpan"));
    chartSpan->addItem(tr("本次连接全部"));
    chartSpan->addItem(tr("最近 1 小时"));
    form->addRow(tr("趋势图"), chartSpan);
    auto *fileRow = new QHBoxLayout;
    file = new QLineEdit(this);
    file->setObjectName(QStringLiteral("lineEditReportFile"));
    auto *browseButton = new QPushButton(tr("浏览…"), this);
    fileRow->addWidget(file);
    fileRow->addWidget(browseButton);
    form->addRow(tr("文件"), fileRow);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("导出"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("取消"));
    form->addRow(buttons);
    connect(browseButton, &QPushButton::clicked, this, &ServiceReportDialog::browse);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(520, 360);
}

void ServiceReportDialog::setSuggestedPath(const QString &path)
{
    file->setText(path);
}

ServiceReport::Typed ServiceReportDialog::typed() const
{
    ServiceReport::Typed t;
    t.technician = technician->text().trimmed();
    t.notes = notes->toPlainText();
    t.pageSize = QPageSize::PageSizeId(paper->currentData().toInt());
    t.lastHourOnly = chartSpan->currentIndex() == 1;
    return t;
}

QString ServiceReportDialog::path() const
{
    return file->text().trimmed();
}

void ServiceReportDialog::browse()
{
    const QString chosen = QFileDialog::getSaveFileName(this, tr("导出服务报告"), file->text(),
                                                        tr("PDF 文件 (*.pdf)"), nullptr,
                                                        QFileDialog::DontUseNativeDialog);
    if (!chosen.isEmpty())
        file->setText(chosen);
}
