#include "OptionErrors.h"

#include <QCommandLineParser>
#include <QRegularExpression>

QString optionError(const QCommandLineParser &parser)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        const QString &name = unknown.first();
        return QStringLiteral("unknown option '%1%2'").arg(name.size() == 1 ? "-" : "--", name);
    }
    // An option that needs a value as the last argument; any other refusal
    // (a value given to a plain switch) keeps the parser's own text.
    static const QRegularExpression missing(QStringLiteral("^Missing value after '(-[^']*)'"));
    const QRegularExpressionMatch m = missing.match(parser.errorText());
    if (m.hasMatch())
        return QStringLiteral("%1 needs a value").arg(m.captured(1));
    return parser.errorText();
}
