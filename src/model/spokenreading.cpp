#include "spokenreading.h"

#include <QStringList>

#include <array>
#include <utility>

namespace lumetra {

QString spokenReading(const DisplayState& d, const QString& overlay, const QString& linkStatus) {
    if (!linkStatus.isEmpty())
        return linkStatus;
    if (!overlay.isEmpty())
        return overlay;
    QStringList parts;
    QString reading = d.readingText.trimmed();
    const bool number = !reading.isEmpty() && reading != QLatin1String("OL");
    if (number && d.flag(Flag::Minus))
        reading.prepend(QLatin1Char('-'));
    QString unit = d.flag(Flag::Cd)             ? QStringLiteral("cd")
                   : d.flag(Flag::UpperPercent) ? QStringLiteral("%")
                   : d.flag(Flag::Fc)           ? QStringLiteral("fc")
                   : d.flag(Flag::Lx)           ? QStringLiteral("lx")
                                                : d.unitText.toLower();
    if (d.flag(Flag::Lxh) || d.flag(Flag::Fch))
        unit += QStringLiteral("-h");
    if (reading.isEmpty())
        parts << QStringLiteral("no reading");
    else
        parts << (unit.isEmpty() ? reading : reading + QLatin1Char(' ') + unit);

    static constexpr std::array<std::pair<Flag, const char*>, 14> kWords{{
        {Flag::Auto, "AUTO"},
        {Flag::Rel, "REL"},
        {Flag::Ref, "REF"},
        {Flag::Hold, "HOLD"},
        {Flag::UpperAvg, "AVG"},
        {Flag::Comp, "COMP"},
        {Flag::Cal, "CAL"},
        {Flag::Zero, "ZERO"},
        {Flag::Scf, "SCF"},
        {Flag::Stray, "STRAY"},
        {Flag::Light, "LIGHT"},
        {Flag::Read, "READ"},
        {Flag::Cycle, "CYCLE"},
        {Flag::Battery, "low battery"},
    }};
    for (const auto& [flag, word] : kWords) {
        if (d.flag(flag))
            parts << QLatin1String(word);
    }
    const QString memory = QString(d.memoryDigits).remove(QLatin1Char(' '));
    if (!memory.isEmpty())
        parts << QStringLiteral("memory ") + memory;
    const QString small = d.smallDigits.trimmed();
    if (!small.isEmpty()) {
        if (d.smallDigits.size() == 4 && !d.smallDigits.left(2).trimmed().isEmpty() &&
            (d.flag(Flag::TimeDot) || d.flag(Flag::DateDot))) {
            const QChar sep = d.flag(Flag::TimeDot) ? QLatin1Char(':') : QLatin1Char('.');
            parts << (d.smallDigits.left(2).trimmed() + sep + d.smallDigits.right(2));
        } else {
            parts << small;
        }
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace lumetra
