#include "displaystate.h"

#include <utility>

namespace lumetra {

// clang-format off
const std::array<const char*, kFlagSlots> kFlagNames{
    "Rel",  "Comp",  "Cal",        "Zero",       "UpperAvg",   "Hold",      "Ref",      "UpperPercent",
    "Fch",  "Lxh",   "Cd",         "Fc",         "Lx",         "Light",     "SmallPlus", "Stray",
    "Comma", "Battery", "BigPlus", "Minus",      "Auto",       "Cycle",     "Read",     "LowerAvg",
    "No",   "Start", "Intv",       "Stop",       "DayHour",    "MinSec",    "TimeHold", "LowerPercent",
    "Feet", "Metre", "MainPoint1", "MainPoint2", "MainPoint3", "SubPoint1", "SubPoint2", "SubPoint3",
    "DateDot", "TimeDot", "Mem",   "SetUp",      "",           "Clear",     "Scf",      "",
};
// clang-format on

int flagIndex(const QString& name) {
    if (name.isEmpty())
        return -1;
    for (int i = 0; i < kFlagSlots; ++i) {
        if (name.compare(QLatin1String(kFlagNames[size_t(i)]), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool DisplayState::measuringModeActive() const {
    return flag(Flag::Rel) || flag(Flag::Ref) || flag(Flag::UpperPercent) || flag(Flag::Cd) ||
           flag(Flag::Fch) || flag(Flag::Lxh) || flag(Flag::SetUp);
}

QString DisplayState::leftPlainReading(const QString& unit) const {
    if (!linkAlive)
        return QStringLiteral("the link to the meter was lost");
    if (unitText != unit) {
        if (unitText == QLatin1String("Fc"))
            return QStringLiteral("the meter changed to foot-candles");
        if (unitText == QLatin1String("Lx"))
            return QStringLiteral("the meter changed to lux");
        return QStringLiteral("the meter shows no unit");
    }
    static const std::pair<Flag, const char*> modes[] = {
        {Flag::Rel, "relative (REL) mode"},   {Flag::Ref, "reference (REF) mode"},
        {Flag::UpperPercent, "percent mode"}, {Flag::Cd, "luminous intensity (cd) mode"},
        {Flag::Fch, "foot-candle hours"},     {Flag::Lxh, "lux hours"},
        {Flag::SetUp, "its SET UP menu"},
    };
    for (const auto& [f, name] : modes) {
        if (flag(f))
            return QStringLiteral("the meter went to %1").arg(QLatin1String(name));
    }
    return {};
}

} // namespace lumetra
