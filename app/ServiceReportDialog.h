#ifndef KORVEX_SERVICEREPORTDIALOG_H
#define KORVEX_SERVICEREPORTDIALOG_H

#include "ServiceReport.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

// "导出服务报告…": the technician's name and notes, the paper, how much of
// the trend to print and where the file goes.
class ServiceReportDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ServiceReportDialog(QWidget *parent = nullptr);

    // Offered each time the dialog opens (the unit's serial number and the time).
    void setSuggestedPath(const QString &path);
    ServiceReport::Typed typed() const;
    QString path() const;

private:
    void browse();

    QLineEdit *technician;
    QPlainTextEdit *notes;
    QComboBox *paper;
    QComboBox *chartSpan;
    QLineEdit *file;
};

#endif
