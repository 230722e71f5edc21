#pragma once

#include "model/survey.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

class QPagedPaintDevice;

namespace lumetra::surveyreport {

// What the report says beyond the survey file.
struct Extras {
    survey::Unit unit;
    QDateTime made;
    // The meter's calibration factor and SCF, read when the report was made; when they could
    // not be read, `meterNote` says why.
    std::optional<QString> calibration;
    std::optional<QString> scf;
    QString meterNote;
};

// Said in a report made without the meter.
inline QString noMeterNote() {
    return QStringLiteral("No meter was connected when the report was made: its calibration "
                          "factor and SCF are not stated.");
}

// Draws the report onto the pages of `device` (a PDF writer or a printer). false when the
// device could not be started.
bool paint(QPagedPaintDevice& device, const survey::Survey& s, const Extras& extras);
// The report as the bytes of a PDF file (saved whole by the caller); nothing when it could
// not be drawn.
std::optional<QByteArray> pdf(const survey::Survey& s, const Extras& extras);

} // namespace lumetra::surveyreport
