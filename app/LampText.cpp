#include "LampText.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QLabel>

QString LampText::forState(const QString &lampName, bool green)
{
    if (lampName == QLatin1String("label_LdOnOffStat"))
        return green ? QCoreApplication::translate("AdminWd", "开") : QCoreApplication::translate("AdminWd", "关");
    if (lampName == QLatin1String("CommStat"))
        return green ? QCoreApplication::translate("AdminWd", "正常") : QCoreApplication::translate("AdminWd", "中断");
    return green ? QCoreApplication::translate("AdminWd", "正常") : QCoreApplication::translate("AdminWd", "报警");
}

QLabel *LampText::attach(QLabel *lamp)
{
    const QString name = lamp->objectName() + QStringLiteral("Text");
    QWidget *parent = lamp->parentWidget();
    if (auto *existing = parent->findChild<QLabel *>(name))
        return existing;
    auto *text = new QLabel(parent);
    text->setObjectName(name);
    for (QBoxLayout *box : parent->findChildren<QBoxLayout *>()) {
        const int at = box->indexOf(lamp);
        if (at >= 0) {
            box->insertWidget(at + 1, text);
            return text;
        }
    }
    return text;
}
