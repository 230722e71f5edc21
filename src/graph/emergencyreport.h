#pragma once

#include "model/emergency.h"

#include <QByteArray>
#include <QRectF>

#include <optional>

class QPagedPaintDevice;
class QPainter;

// The emergency-lighting test drawn: the curve of the light (live in the window and in the
// report) and the report of one test.
namespace lumetra::emergencyreport {

// The light from the mains failure over the rated duration, the minimum as a line, the
// response, the failure and the end marked. Before the failure, the last minute is drawn.
void paintCurve(QPainter& painter, const QRectF& area, const emergency::Input& input,
                const emergency::Assessment& a);

// One row of the verdict table: criterion, measured, required, verdict.
struct Criterion {
    QString what, measured, required, verdict;
};
QList<Criterion> criteria(const emergency::Input& input, const emergency::Assessment& a);

// Draws the report onto the pages of `device` (a PDF writer or a printer); false when the
// device could not be started.
bool paint(QPagedPaintDevice& device, const emergency::Input& input, const emergency::Assessment& a,
           const emergency::Meta& meta);
// The report as the bytes of a PDF file; nothing when it could not be drawn.
std::optional<QByteArray> pdf(const emergency::Input& input, const emergency::Assessment& a,
                              const emergency::Meta& meta);

} // namespace lumetra::emergencyreport
