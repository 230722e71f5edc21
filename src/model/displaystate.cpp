#include "displaystate.h"

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

} // namespace lumetra
