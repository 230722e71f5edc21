#include "surveyreport.h"

#include "graph/reportpages.h"

#include "model/numbers.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace lumetra::surveyreport {

heatmap::Map planOf(const survey::Survey& s, const survey::Unit& unit, int current) {
    heatmap::Map map;
    map.rows = s.rows;
    map.columns = s.columns;
    map.current = current;
    map.legendTitle = unit.name;
    for (int c = 0; c < s.columns; ++c)
        map.columnLabels << survey::pointName(0, c).chopped(1);
    for (int r = 0; r < s.rows; ++r)
        map.rowLabels << QString::number(r + 1);
    // The colours run from 0: a difference looks as large as it is, so 1198 and 1207 lx look
    // alike rather than the two ends of the scale.
    map.low = 0;
    map.high = 0;
    for (const survey::Point& p : s.points) {
        heatmap::Cell cell;
        cell.struckOut = p.obstructed;
        if (p.obstructed) {
            cell.text = QStringLiteral("obstr.");
        } else if (p.lux) {
            const double v = *p.lux * unit.perLux;
            cell.value = v;
            // A value typed by hand is marked as such ("*").
            cell.text =
                survey::illuminance(*p.lux, unit) + (p.typed ? QStringLiteral("*") : QString());
            map.high = std::max(map.high, v);
        }
        map.cells << cell;
    }
    map.high = roundUp(map.high);
    const double along = std::max(0.0, s.length - 2 * s.band) / std::max(1, s.columns);
    const double across = std::max(0.0, s.width - 2 * s.band) / std::max(1, s.rows);
    // A grid much longer than wide keeps its cells readable rather than true to shape.
    if (along > 0 && across > 0)
        map.cellAspect = std::clamp(along / across, 0.5, 2.0);
    return map;
}

namespace {

QString metres(double v) {
    return QStringLiteral("%1 m").arg(v, 0, 'f', v < 10 ? 2 : 1);
}

QString required(const std::optional<double>& v, const QString& unit) {
    return v ? QString::number(*v, 'g', 6) + unit : QStringLiteral("–");
}

} // namespace

bool paint(QPagedPaintDevice& device, const survey::Survey& s, const Extras& extras) {
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    ReportPages pages(painter, device);
    const survey::Unit& unit = extras.unit;

    pages.font(17, true);
    pages.paragraph(QStringLiteral("Lighting survey: %1")
                        .arg(s.name.isEmpty() ? QStringLiteral("(no name)") : s.name));
    pages.font(9);
    pages.line(QStringLiteral("Report made %1")
                   .arg(QLocale::c().toString(extras.made, QStringLiteral("yyyy-MM-dd HH:mm"))));
    pages.skip(3);

    const QList<double> two{0, 0.32};
    pages.font(11, true);
    pages.line(QStringLiteral("Area"));
    pages.font(9);
    pages.row({QStringLiteral("Room"), QStringLiteral("%1 × %2, band along the walls %3")
                                           .arg(metres(s.length), metres(s.width), metres(s.band))},
              two);
    pages.row({QStringLiteral("Measuring height"), metres(s.height)}, two);
    const double along = std::max(0.0, s.length - 2 * s.band) / std::max(1, s.columns);
    const double across = std::max(0.0, s.width - 2 * s.band) / std::max(1, s.rows);
    pages.row(
        {QStringLiteral("Grid"), QStringLiteral("%1 columns × %2 rows = %3 points, spaced %4 × %5")
                                     .arg(s.columns)
                                     .arg(s.rows)
                                     .arg(s.points.size())
                                     .arg(metres(along), metres(across))},
        two);
    // A grid set by hand is named as such, never passed off as the rule's.
    const QString departure = survey::gridDeparture(s);
    pages.row({QStringLiteral("Grid rule"),
               departure.isEmpty()
                   ? QStringLiteral("spacing p = 0.2 × 5^log10(d) m, at most 10 m; points at the "
                                    "centres of the cells")
                   : QStringLiteral("Set by hand, departing from the rule (spacing p = 0.2 × "
                                    "5^log10(d) m, at most 10 m): %1")
                         .arg(departure)},
              two);
    pages.skip(2);

    pages.font(11, true);
    pages.line(QStringLiteral("Requirement"));
    pages.font(9);
    const survey::Requirement& r = s.requirement;
    pages.row({QStringLiteral("Task"), r.name.isEmpty() ? QStringLiteral("(none)") : r.name}, two);
    pages.row(
        {QStringLiteral("Criteria"),
         QStringLiteral("Ē ≥ %1   U0 ≥ %2   Emin ≥ %3   Emax/Emin ≤ %4")
             .arg(required(r.average, QStringLiteral(" lx")), required(r.uniformity, QString()),
                  required(r.minimum, QStringLiteral(" lx")), required(r.maxOverMin, QString()))},
        two);
    pages.skip(2);

    pages.font(11, true);
    pages.line(QStringLiteral("Meter"));
    pages.font(9);
    if (extras.calibration)
        pages.row({QStringLiteral("Calibration factor"), *extras.calibration}, two);
    if (extras.scf)
        pages.row({QStringLiteral("SCF"), *extras.scf}, two);
    if (!extras.meterNote.isEmpty())
        pages.row({QString(), extras.meterNote}, two);
    pages.skip(2);

    pages.font(11, true);
    const QString overall = survey::verdict(s);
    const QString missing = survey::missingEvidence(s);
    pages.line(overall.isEmpty()   ? QStringLiteral("Results")
               : missing.isEmpty() ? QStringLiteral("Results: %1").arg(overall)
                                   : QStringLiteral("Results: %1 (%2)").arg(overall, missing));
    pages.font(9);
    const QList<double> four{0, 0.32, 0.55, 0.8};
    pages.row({QStringLiteral("Figure"), QStringLiteral("Measured"), QStringLiteral("Required"),
               QStringLiteral("Verdict")},
              four, true);
    for (const survey::Result& res : survey::results(s, unit))
        pages.row({res.what, res.value, res.required, res.verdict}, four);
    pages.skip(3);

    // The plan: as large as the rest of the page allows, at least a third of a page.
    pages.font(11, true);
    pages.line(QStringLiteral("Plan (%1; column letters along the length)").arg(unit.name));
    pages.font(7);
    const double planHeight = std::min(pages.width() * 0.75, pages.room() - pages.mm(2));
    if (planHeight < pages.mm(70))
        pages.newPage();
    const double height = std::min(pages.width() * 0.75, pages.room() - pages.mm(2));
    heatmap::paint(painter, QRectF(0, pages.y(), pages.width(), height), planOf(s, unit));
    pages.advance(height + pages.mm(3));
    if (std::any_of(s.points.begin(), s.points.end(),
                    [](const survey::Point& p) { return p.typed && p.lux; })) {
        pages.font(8);
        pages.line(QStringLiteral("* typed by hand, not measured"));
        pages.skip(2);
    }

    if (!s.notes.trimmed().isEmpty()) {
        pages.font(11, true);
        pages.line(QStringLiteral("Notes"));
        pages.font(9);
        pages.paragraph(s.notes);
        pages.skip(3);
    }

    // The table of points, in the order they were walked.
    pages.newPage();
    pages.font(11, true);
    pages.line(QStringLiteral("Points"));
    pages.font(8);
    const QList<double> columns{0, 0.1, 0.21, 0.32, 0.45, 0.74};
    const auto header = [&] {
        pages.row({QStringLiteral("Point"), QStringLiteral("x"), QStringLiteral("y"),
                   QStringLiteral("E (%1)").arg(unit.name), QStringLiteral("Taken"), QString()},
                  columns, true);
    };
    header();
    for (int i : survey::walkOrder(s.rows, s.columns)) {
        if (i >= s.points.size())
            continue;
        if (pages.room() < pages.lineHeight() * 1.2) {
            pages.newPage();
            header();
        }
        const survey::Point& p = s.points[i];
        pages.row({survey::pointName(p.row, p.column), metres(p.x), metres(p.y),
                   p.lux ? survey::illuminance(*p.lux, unit) : QStringLiteral("–"),
                   p.taken.isValid() ? QLocale::c().toString(p.taken.toLocalTime(),
                                                             QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                     : QString(),
                   p.obstructed ? QStringLiteral("obstructed, not counted")
                   : p.typed    ? QStringLiteral("typed by hand, not measured")
                                : QString()},
                  columns);
    }
    return painter.end();
}

std::optional<QByteArray> pdf(const survey::Survey& s, const Extras& extras) {
    return reportPdf(QStringLiteral("Lighting survey: %1").arg(s.name),
                     [&](QPagedPaintDevice& writer) { return paint(writer, s, extras); });
}

} // namespace lumetra::surveyreport
