#pragma once

#include "model/displaystate.h"

#include <QString>

namespace lumetra {

// The meter's display as a person would say it, for a screen reader: "12.34 lx, AUTO,
// memory 1, 20:04", "OL fc", "SET UP", or the link's status ("No COM") while nothing is shown.
// overlay: "SET UP" or "CLEAR" while the meter shows one; linkStatus: "No COM" while the meter
// does not answer, empty otherwise.
QString spokenReading(const DisplayState& display, const QString& overlay,
                      const QString& linkStatus);

} // namespace lumetra
