#include "simcommands.h"

#include "virtualmeter.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>
#include <optional>

namespace lumetra::sim {
namespace {

std::optional<bool> onOff(const QString& word) {
    if (word == QLatin1String("on") || word == QLatin1String("1"))
        return true;
    if (word == QLatin1String("off") || word == QLatin1String("0"))
        return false;
    return std::nullopt;
}

QString status(const VirtualMeter& m) {
    QStringList lit;
    for (const QString& name : VirtualMeter::flagNames()) {
        if (m.flag(name))
            lit << name;
    }
    return QStringLiteral("unit %1, reading %2, pointer %3, power %4, streaming %5, flags: %6")
        .arg(m.unitFc() ? QStringLiteral("Fc") : QStringLiteral("Lx"))
        .arg(m.displayedValue(), 0, 'f', 3)
        .arg(m.memoryPointer())
        .arg(m.powered() ? QStringLiteral("on") : QStringLiteral("off"))
        .arg(m.streaming() ? QStringLiteral("yes") : QStringLiteral("no"))
        .arg(lit.join(QLatin1Char(' ')));
}

// "0 420 10 420 10.2 0.4": pairs of seconds and lux, the times never going back.
std::optional<QList<QPair<double, double>>> profilePoints(const QStringList& words) {
    if (words.isEmpty() || words.size() % 2 != 0)
        return std::nullopt;
    QList<QPair<double, double>> points;
    for (qsizetype i = 0; i < words.size(); i += 2) {
        bool okT = false, okL = false;
        const double t = words[i].toDouble(&okT), lux = words[i + 1].toDouble(&okL);
        if (!okT || !okL || !std::isfinite(t) || !std::isfinite(lux) || t < 0 || lux < 0 ||
            (!points.isEmpty() && t < points.last().first))
            return std::nullopt;
        points << qMakePair(t, lux);
    }
    return points;
}

std::optional<QList<QPair<double, double>>> profileFile(const QString& path) {
    // A regular file only: a device would be read for ever.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    const QByteArray bytes = file.read((1 << 20) + 1);
    if (bytes.size() > 1 << 20)
        return std::nullopt;
    QStringList words;
    for (const QString& line : QString::fromUtf8(bytes).split(QLatin1Char('\n'))) {
        const QString text = line.section(QLatin1Char('#'), 0, 0);
        words << text.split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts);
    }
    return profilePoints(words);
}

} // namespace

QString simCommandHelp() {
    return QStringLiteral(
        "Commands (one per line on standard input):\n"
        "  unit lx|fc            measuring unit\n"
        "  lux <value>           the light level in lux (the display follows the unit)\n"
        "  drift on|off          let the reading wander a little over time (default on)\n"
        "  profile <t lux ...>|FILE|off\n"
        "                        a scripted light from now on: seconds and lux in pairs,\n"
        "                        inline or in a file (# starts a comment), straight lines\n"
        "                        between them, the last held\n"
        "  overload on|off       show OL\n"
        "  flag <Name> on|off    any annunciator: Rel Comp Cal Zero UpperAvg Hold Ref\n"
        "                        UpperPercent Fch Lxh Cd Light SmallPlus Stray Battery BigPlus\n"
        "                        Minus Auto Cycle Read LowerAvg No Start Intv Stop DayHour\n"
        "                        MinSec TimeHold LowerPercent Feet Metre SubPoint1..3\n"
        "                        DateDot TimeDot Mem SetUp Clear Scf\n"
        "  setup on|off          SET UP screen;  clear on|off  CLEAR screen\n"
        "  memno <n>|blank       memory number shown (0..99)\n"
        "  small <hhhh>|clock    small digits, four hexadecimal characters\n"
        "  digits <6 hex>|live   exact main digits, A for blank\n"
        "  sets <n> <records>    fill the data logger with n sets\n"
        "  fill <bytes>|full     fill the data logger up to a number of bytes\n"
        "  empty-set             store a set stopped before its first record\n"
        "  erase                 empty the data logger\n"
        "  pointer <n>|auto      report this memory pointer in the acknowledge\n"
        "  power off|on          switch the meter off or on\n"
        "  poweron-delay <ms>    after \"O\", switch back on by itself (0: stay off)\n"
        "  silent on|off         ignore everything and send nothing\n"
        "  ignore <letters>|none answer none of these letters (e.g. ignore hY)\n"
        "  garbage <n>           send n random bytes now\n"
        "  split on|off          send each display frame in two pieces\n"
        "  stop-at-a on|off      end the display stream at every \"A\" until the next \"M\"\n"
        "  stream-through on|off keep the display stream running while answering; stop it\n"
        "                        only at \"H\" until the next \"M\"\n"
        "  short                 cut the next reply short\n"
        "  malformed             spoil the end byte of the next reply\n"
        "  ackmarker <hex>       marker byte of the acknowledge (AA is right)\n"
        "  chain-broken          break the set chain of the next memory dump\n"
        "  no-marker             spoil the leading set marker of the next memory dump\n"
        "  paced on|off          send at 1920 bytes/s (19200 baud) or as fast as possible\n"
        "  period <ms>           time between display frames (default 100)\n"
        "  status                print the state\n"
        "  quit                  stop the simulator\n");
}

QString applySimCommand(VirtualMeter& m, const QString& line) {
    const QStringList w = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (w.isEmpty())
        return {};
    const QString cmd = w[0].toLower();
    const QString arg = w.size() > 1 ? w[1] : QString();
    const QString argLower = arg.toLower();
    bool ok = true;
    const auto bad = [&] { return QStringLiteral("error: cannot read '%1'").arg(line.trimmed()); };

    if (cmd == QLatin1String("help"))
        return simCommandHelp();
    if (cmd == QLatin1String("status"))
        return status(m);
    if (cmd == QLatin1String("unit")) {
        if (argLower != QLatin1String("lx") && argLower != QLatin1String("fc"))
            return bad();
        m.setUnitFc(argLower == QLatin1String("fc"));
    } else if (cmd == QLatin1String("lux")) {
        const double v = arg.toDouble(&ok);
        if (!ok)
            return bad();
        m.setLux(v);
    } else if (cmd == QLatin1String("profile")) {
        if (argLower == QLatin1String("off")) {
            m.setProfile({});
            return QStringLiteral("ok");
        }
        bool number = false;
        arg.toDouble(&number);
        const auto points =
            number ? profilePoints(w.mid(1)) : profileFile(line.trimmed().mid(8).trimmed());
        if (!points)
            return bad();
        m.setProfile(*points);
    } else if (cmd == QLatin1String("drift") || cmd == QLatin1String("overload") ||
               cmd == QLatin1String("setup") || cmd == QLatin1String("clear") ||
               cmd == QLatin1String("silent") || cmd == QLatin1String("split") ||
               cmd == QLatin1String("paced") || cmd == QLatin1String("power") ||
               cmd == QLatin1String("stop-at-a") || cmd == QLatin1String("stream-through")) {
        const auto on = onOff(argLower);
        if (!on)
            return bad();
        if (cmd == QLatin1String("drift"))
            m.setDrift(*on);
        else if (cmd == QLatin1String("overload"))
            m.setOverload(*on);
        else if (cmd == QLatin1String("setup"))
            m.setFlag(QStringLiteral("SetUp"), *on);
        else if (cmd == QLatin1String("clear"))
            m.setFlag(QStringLiteral("Clear"), *on);
        else if (cmd == QLatin1String("silent"))
            m.setSilent(*on);
        else if (cmd == QLatin1String("split"))
            m.setSplitFrames(*on);
        else if (cmd == QLatin1String("paced"))
            m.setPaced(*on);
        else if (cmd == QLatin1String("stop-at-a"))
            m.setStreamEndsAtHandshake(*on);
        else if (cmd == QLatin1String("stream-through"))
            m.setStreamThrough(*on);
        else
            m.setPowered(*on);
    } else if (cmd == QLatin1String("ignore")) {
        if (arg.isEmpty())
            return bad();
        m.setIgnoredLetters(argLower == QLatin1String("none") ? QByteArray() : arg.toLatin1());
    } else if (cmd == QLatin1String("flag")) {
        const auto on = onOff(w.size() > 2 ? w[2].toLower() : QString());
        if (!on || !m.setFlag(arg, *on))
            return bad();
    } else if (cmd == QLatin1String("memno")) {
        if (argLower == QLatin1String("blank")) {
            m.setMemoryNumber(-1);
        } else {
            const int n = arg.toInt(&ok);
            if (!ok || n < 0 || n > 99)
                return bad();
            m.setMemoryNumber(n);
        }
    } else if (cmd == QLatin1String("small")) {
        if (argLower == QLatin1String("clock")) {
            m.setSmallDigits({});
        } else {
            arg.toUInt(&ok, 16);
            if (!ok || arg.size() != 4)
                return bad();
            m.setSmallDigits(arg.toUpper());
        }
    } else if (cmd == QLatin1String("digits")) {
        if (argLower == QLatin1String("live")) {
            m.setRawMainDigits({});
        } else {
            arg.toUInt(&ok, 16);
            if (!ok || arg.size() != 6)
                return bad();
            m.setRawMainDigits(arg.toUpper());
        }
    } else if (cmd == QLatin1String("sets")) {
        const int n = arg.toInt(&ok);
        bool ok2 = false;
        const int r = w.size() > 2 ? w[2].toInt(&ok2) : 0;
        if (!ok || !ok2 || n < 0 || r < 1)
            return bad();
        m.fillMemory(n, r);
    } else if (cmd == QLatin1String("fill")) {
        const int n =
            argLower == QLatin1String("full") ? VirtualMeter::kMemoryCapacity : arg.toInt(&ok);
        if (!ok || n < 0)
            return bad();
        m.fillMemoryBytes(n);
    } else if (cmd == QLatin1String("empty-set")) {
        m.addEmptySet();
    } else if (cmd == QLatin1String("erase")) {
        m.clearMemory();
    } else if (cmd == QLatin1String("pointer")) {
        if (argLower == QLatin1String("auto")) {
            m.setPointerOverride(std::nullopt);
        } else {
            const uint p = arg.toUInt(&ok);
            if (!ok || p > 0xFFFFFF)
                return bad();
            m.setPointerOverride(p);
        }
    } else if (cmd == QLatin1String("poweron-delay")) {
        const int ms = arg.toInt(&ok);
        if (!ok || ms < 0)
            return bad();
        m.setPowerOnDelayMs(ms);
    } else if (cmd == QLatin1String("garbage")) {
        const int n = arg.toInt(&ok);
        if (!ok || n < 0 || n > 100000)
            return bad();
        m.sendGarbage(n);
    } else if (cmd == QLatin1String("short")) {
        m.shortNextReply();
    } else if (cmd == QLatin1String("malformed")) {
        m.malformNextReply();
    } else if (cmd == QLatin1String("ackmarker")) {
        const uint v = arg.toUInt(&ok, 16);
        if (!ok || v > 0xFF)
            return bad();
        m.setAckMarker(quint8(v));
    } else if (cmd == QLatin1String("chain-broken")) {
        m.breakNextDumpChain();
    } else if (cmd == QLatin1String("no-marker")) {
        m.dropNextDumpMarker();
    } else if (cmd == QLatin1String("period")) {
        const int ms = arg.toInt(&ok);
        if (!ok || ms < 10)
            return bad();
        m.setFramePeriodMs(ms);
    } else {
        return QStringLiteral("error: unknown command '%1' (try help)").arg(w[0]);
    }
    return QStringLiteral("ok");
}

} // namespace lumetra::sim
