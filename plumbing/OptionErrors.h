#ifndef KORVEX_OPTIONERRORS_H
#define KORVEX_OPTIONERRORS_H

#include <QString>

class QCommandLineParser;

// Why a command line that QCommandLineParser refused is wrong, in the words
// the programs print: "unknown option '--bogus'", "--port needs a value".
QString optionError(const QCommandLineParser &parser);

#endif
