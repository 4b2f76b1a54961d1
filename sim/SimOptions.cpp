#include "SimOptions.h"

#include "OptionErrors.h"
#include "SerialNumberRecord.h"

#include <QCommandLineParser>

namespace {

// Options that take a value, each given as "--name value" or "--name=value",
// in the order their values are taken.
const QStringList ValueOptions = {
    "link", "port", "baud", "seed", "refuse", "drop", "corrupt", "trailing", "split",
    "split-pause", "delay", "delay-share", "silent-after", "chatter", "log", "fault-log", "gap", "speed",
    "fan-stuck", "firmware", "ld-type", "run-seconds", "firmware-dir", "serial", "tec-cooling", "thermal-tau",
    "current-scale"};

} // namespace

QString SimOptions::helpText()
{
    return QStringLiteral(
        "Usage: korvex-sim (--pty [--link PATH] | --port NAME [--baud N]) [options]\n"
        "\n"
        "Simulated laser light source: answers the device commands on a serial line.\n"
        "\n"
        "Line:\n"
        "  --pty               create a pseudo-terminal and serve its master side; the\n"
        "                      terminal to open is printed as the first line of stdout\n"
        "  --link PATH         with --pty: also make the symbolic link PATH to that\n"
        "                      terminal (replaces an old link, removed on exit)\n"
        "  --port NAME         serve an existing serial port instead (8N1, no flow control);\n"
        "                      its name is printed as the first line of stdout\n"
        "  --baud N            line speed for --port (default 115200)\n"
        "  --gap MS            line silence that ends a serial number, fan or laser type\n"
        "                      request (default 15)\n"
        "\n"
        "Device:\n"
        "  --firmware X.Y      firmware version reported (default 1.5)\n"
        "  --ld-type N         laser type 0, 1 or 2 at start (default 0)\n"
        "  --run-seconds N     run time at start (default 0)\n"
        "  --fan-stuck LIST    fans (1..3, comma separated) that never turn\n"
        "  --serial MODEL-YYYYMMDD-SEQ\n"
        "                      serial number at start (default 25001-20240709-0001)\n"
        "\n"
        "Unit to unit (a bad unit for a test station):\n"
        "  --tec-cooling C     cooling of the TEC at full drive in degC (default 20; a\n"
        "                      weak TEC has less): the laser settles at ambient minus\n"
        "                      C * drive / 4095 with the laser off\n"
        "  --thermal-tau S     time constant of the laser mount in seconds (default 8;\n"
        "                      a slow thermal path has more)\n"
        "  --current-scale F   laser current as a share of the nominal (default 1)\n"
        "\n"
        "Time:\n"
        "  --speed F           simulated time runs F times faster (default 1)\n"
        "  --firmware-dir DIR  boot loader: once the line has been quiet for 1 s, prompt\n"
        "                      with \"C\" every second and take a firmware image by YModem\n"
        "                      into DIR (saved under its own name when complete); any\n"
        "                      device frame hands the line back to the device; a saved\n"
        "                      image that carries the text \"KORVEX-FIRMWARE X.Y\" in its\n"
        "                      first 4 KiB restarts the unit with firmware X.Y\n"
        "\n"
        "  A write is answered 01, word, status, CRC: status 0x00 accepted, 0x02 unknown\n"
        "  command, 0x03 invalid data (a value out of range, a serial number that is\n"
        "  not 8 bytes); such a write changes nothing. A restart (0x0001) switches the\n"
        "  laser off, returns TEC and fans to automatic control, drops an unsaved\n"
        "  maximum DAC and clears the frame counters; the run time keeps counting.\n"
        "\n"
        "Faults (shares are 0..1; choices are reproducible with --seed):\n"
        "  --seed N            seed of the fault choices (default 1)\n"
        "  --refuse WORDS      answer these command words (e.g. 0x0012,0x00A1) with\n"
        "                      status 0x01 and leave the state unchanged\n"
        "  --drop P            send no reply to a share P of requests\n"
        "  --corrupt P         flip one byte in a share P of replies\n"
        "  --trailing P        append 1 to 4 extra bytes to a share P of replies\n"
        "  --split P           send a share P of replies in two pieces\n"
        "  --split-pause MS    pause between the pieces (default 20)\n"
        "  --delay MS          wait MS before replying\n"
        "  --delay-share P     share of replies that wait (default 1)\n"
        "  --silent-after N    answer the first N requests, then nothing\n"
        "  --chatter MS        send one unsolicited byte '.' every MS ms, between\n"
        "                      replies, as a device printing debug text or a noisy line\n"
        "\n"
        "Trace:\n"
        "  --log FILE          write every received request frame to FILE, in hex, one\n"
        "                      frame per line\n"
        "  --fault-log FILE    for every request, one line: the frame in hex, a space and\n"
        "                      what happened to its reply: clean, or the faults applied,\n"
        "                      comma separated (silent, drop, corrupt, trailing, split,\n"
        "                      delay), or noreply when the device had nothing to say\n"
        "  -v, --verbose       trace requests, replies and dropped bytes on stderr\n"
        "  -h, --help          show this text\n"
        "  --version           show the version\n"
        "\n"
        "Stops cleanly on SIGINT or SIGTERM. Exit codes: 0 done, 1 the line could not\n"
        "be opened, 2 bad command line.\n");
}

bool SimOptions::parseShare(const QString &name, const QString &text, double *out, QString *error)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !(v >= 0.0 && v <= 1.0)) {
        *error = QStringLiteral("--%1 needs a share between 0 and 1, not '%2'").arg(name, text);
        return false;
    }
    *out = v;
    return true;
}

bool SimOptions::parseInt(const QString &name, const QString &text, qint64 lo, qint64 hi, qint64 *out, QString *error)
{
    // Decimal, or hexadecimal with a 0x prefix (command words).
    bool ok = false;
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const qint64 v = hex ? text.mid(2).toLongLong(&ok, 16) : text.toLongLong(&ok, 10);
    if (!ok || v < lo || v > hi) {
        *error = QStringLiteral("--%1 needs a whole number from %2 to %3, not '%4'").arg(name).arg(lo).arg(hi).arg(text);
        return false;
    }
    *out = v;
    return true;
}

// One option's value; lists (--refuse, --fan-stuck) add to what earlier
// uses of the option gave.
bool SimOptions::take(const QString &name, const QString &value, QString *error)
{
    qint64 n = 0;
    bool ok = true;
    if (name == "link") {
        linkPath = value;
    } else if (name == "port") {
        portName = value;
    } else if (name == "log") {
        logPath = value;
    } else if (name == "fault-log") {
        faultLogPath = value;
    } else if (name == "firmware-dir") {
        firmwareDir = value;
    } else if (name == "baud") {
        ok = parseInt(name, value, 50, 10000000, &n, error);
        baud = int(n);
    } else if (name == "seed") {
        ok = parseInt(name, value, 0, 0xFFFFFFFFLL, &n, error);
        faults.seed = quint32(n);
    } else if (name == "drop") {
        ok = parseShare(name, value, &faults.dropShare, error);
    } else if (name == "corrupt") {
        ok = parseShare(name, value, &faults.corruptShare, error);
    } else if (name == "trailing") {
        ok = parseShare(name, value, &faults.trailingShare, error);
    } else if (name == "split") {
        ok = parseShare(name, value, &faults.splitShare, error);
    } else if (name == "delay-share") {
        ok = parseShare(name, value, &faults.delayShare, error);
    } else if (name == "split-pause") {
        ok = parseInt(name, value, 0, 60000, &n, error);
        faults.splitPauseMs = int(n);
    } else if (name == "delay") {
        ok = parseInt(name, value, 0, 60000, &n, error);
        faults.delayMs = int(n);
    } else if (name == "silent-after") {
        ok = parseInt(name, value, 0, 0x7FFFFFFFFFFFLL, &n, error);
        faults.silentAfter = n;
    } else if (name == "chatter") {
        ok = parseInt(name, value, 1, 60000, &n, error);
        chatterMs = int(n);
    } else if (name == "gap") {
        ok = parseInt(name, value, 1, 10000, &n, error);
        gapMs = int(n);
    } else if (name == "ld-type") {
        ok = parseInt(name, value, 0, 2, &n, error);
        ldType = quint8(n);
    } else if (name == "run-seconds") {
        ok = parseInt(name, value, 0, 0xFFFFFFFFLL, &n, error);
        runSeconds = quint32(n);
    } else if (name == "serial") {
        ok = SerialNumberRecord::parse(value, &serialRecord);
        if (!ok)
            *error = QStringLiteral("--serial needs MODEL-YYYYMMDD-SEQ (model below 16777216, a real date "
                                    "from 2000 to 2255, sequence 0..65535), not '%1'").arg(value);
    } else if (name == "tec-cooling" || name == "thermal-tau" || name == "current-scale") {
        const double v = value.toDouble(&ok);
        ok = ok && v > 0.0 && v <= 1000.0;
        if (!ok)
            *error = QStringLiteral("--%1 needs a number above 0 and at most 1000, not '%2'").arg(name, value);
        (name == "tec-cooling" ? model.tecCoolingC : name == "thermal-tau" ? model.laserTauS : model.currentScale) = v;
    } else if (name == "speed") {
        const double v = value.toDouble(&ok);
        ok = ok && v > 0.0 && v <= 1e6;
        if (!ok)
            *error = QStringLiteral("--speed needs a factor above 0, not '%1'").arg(value);
        speed = v;
    } else if (name == "firmware") {
        const QStringList parts = value.split('.');
        qint64 major = 0, minor = 0;
        ok = parts.size() == 2 && parseInt(name, parts[0], 0, 255, &major, error)
            && parseInt(name, parts[1], 0, 255, &minor, error);
        if (!ok)
            *error = QStringLiteral("--firmware needs MAJOR.MINOR (each 0..255), not '%1'").arg(value);
        fwMajor = quint8(major);
        fwMinor = quint8(minor);
    } else if (name == "refuse") {
        for (const QString &w : value.split(',', Qt::SkipEmptyParts)) {
            if (!(ok = parseInt(name, w.trimmed(), 0, 0xFFFF, &n, error)))
                break;
            refusedWords.insert(quint16(n));
        }
    } else if (name == "fan-stuck") {
        for (const QString &f : value.split(',', Qt::SkipEmptyParts)) {
            if (!(ok = parseInt(name, f.trimmed(), 1, 3, &n, error)))
                break;
            stuckFans.append(int(n) - 1);
        }
    }
    return ok;
}

SimOptions::Outcome SimOptions::parse(const QStringList &args, QString *error)
{
    QCommandLineParser p;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("show this text"));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("show the version"));
    const QCommandLineOption verboseOption({QStringLiteral("v"), QStringLiteral("verbose")}, QStringLiteral("trace"));
    const QCommandLineOption pty(QStringLiteral("pty"), QStringLiteral("serve a pseudo-terminal"));
    p.addOptions({help, version, verboseOption, pty});
    for (const QString &name : ValueOptions)
        p.addOption(QCommandLineOption(name, name, QStringLiteral("value")));
    if (!p.parse(QStringList{QStringLiteral("korvex-sim")} + args)) {
        *error = optionError(p);
        return Invalid;
    }
    if (p.isSet(help))
        return ShowHelp;
    if (p.isSet(version))
        return ShowVersion;
    if (!p.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument '%1'").arg(p.positionalArguments().first());
        return Invalid;
    }
    verbose = p.isSet(verboseOption);
    usePty = p.isSet(pty);
    for (const QString &name : ValueOptions) {
        for (const QString &value : p.values(name)) {
            if (!take(name, value, error))
                return Invalid;
        }
    }
    if (usePty == !portName.isEmpty()) {
        *error = QStringLiteral("choose exactly one of --pty and --port NAME");
        return Invalid;
    }
    if (!linkPath.isEmpty() && !usePty) {
        *error = QStringLiteral("--link works only with --pty");
        return Invalid;
    }
    return Run;
}
