#include "surveyreport.h"

#include "graph/reportpages.h"
#include "graph/surveyplan.h"
#include "model/surveyareas.h"
#include "model/surveyevidence.h"

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

namespace {

QString metres(double v) {
    return QStringLiteral("%1 m").arg(v, 0, 'f', v < 10 ? 2 : 1);
}

QString required(const std::optional<double>& v, const QString& unit) {
    return v ? QString::number(*v, 'g', 6) + unit : QStringLiteral("–");
}

QString criteria(const survey::Requirement& r) {
    return QStringLiteral("Ē ≥ %1   U0 ≥ %2   Emin ≥ %3   Emax/Emin ≤ %4")
        .arg(required(r.average, QStringLiteral(" lx")), required(r.uniformity, QString()),
             required(r.minimum, QStringLiteral(" lx")), required(r.maxOverMin, QString()));
}

QString corners(const QPolygonF& outline) {
    QStringList out;
    for (const QPointF& p : outline)
        out << QStringLiteral("(%1, %2)").arg(p.x(), 0, 'f', 2).arg(p.y(), 0, 'f', 2);
    return out.join(QLatin1Char(' '));
}

const QList<double> kTwo{0, 0.32};
const QList<double> kFour{0, 0.32, 0.55, 0.8};

void resultsTable(ReportPages& pages, const QList<survey::Result>& rows) {
    pages.row({QStringLiteral("Figure"), QStringLiteral("Measured"), QStringLiteral("Required"),
               QStringLiteral("Verdict")},
              kFour, true);
    for (const survey::Result& res : rows)
        pages.row({res.what, res.value, res.required, res.verdict}, kFour);
}

// The room's shape, its obstacles, and each area with what it asks.
void areasSection(ReportPages& pages, const survey::Survey& s) {
    if (!survey::isRectangleRoom(s))
        pages.row({QStringLiteral("Outline (m)"), corners(s.outline)}, kTwo);
    for (int i = 0; i < s.obstacles.size(); ++i)
        pages.row({QStringLiteral("Obstacle %1 (m)").arg(i + 1), corners(s.obstacles[i])}, kTwo);
    if (s.areas.isEmpty())
        return;
    pages.row({QStringLiteral("Areas"),
               QStringLiteral("immediate surrounding band %1, background band %2 (EN 12464-1)")
                   .arg(metres(std::max(survey::kLeastSurroundingBand, s.surroundingBand)),
                        metres(std::max(survey::kLeastBackgroundBand, s.backgroundBand)))},
              kTwo);
    for (const survey::Area& a : s.areas) {
        const QRectF b = a.outline.boundingRect();
        const int n =
            int(std::count_if(s.points.begin(), s.points.end(), [&](const survey::Point& p) {
                return p.area >= 0 && s.areas[p.area].name == a.name;
            }));
        pages.row({a.name, QStringLiteral("%1%2 × %3 at (%4, %5), %6 points; %7")
                               .arg(a.kind == survey::AreaKind::Task ? QString()
                                                                     : QStringLiteral("within "),
                                    metres(b.width()), metres(b.height()))
                               .arg(b.left(), 0, 'f', 2)
                               .arg(b.top(), 0, 'f', 2)
                               .arg(n)
                               .arg(a.requirement.name)},
                  kTwo);
    }
}

} // namespace

namespace {

void roomSection(ReportPages& pages, const survey::Survey& s) {
    pages.font(11, true);
    pages.line(QStringLiteral("Area"));
    pages.font(9);
    pages.row({QStringLiteral("Room"),
               QStringLiteral("%1 × %2%4, band along the walls %3")
                   .arg(metres(s.length), metres(s.width), metres(s.band),
                        survey::isRectangleRoom(s) ? QString()
                                                   : QStringLiteral(" (bounding rectangle)"))},
              kTwo);
    areasSection(pages, s);
    pages.row({QStringLiteral("Measuring height"), metres(s.height)}, kTwo);
    const QString rule = QStringLiteral("spacing p = 0.2 × 5^log10(d) m, at most 10 m");
    if (!s.areas.isEmpty()) {
        pages.row({QStringLiteral("Grid rule"),
                   QStringLiteral("each area by the rule over its bounding rectangle (%1); the "
                                  "points inside the area, outside obstacles and other areas")
                       .arg(rule)},
                  kTwo);
        pages.skip(2);
        return;
    }
    const auto grid = survey::roomGrid(s);
    const double along = grid ? grid->length / std::max(1, s.columns) : 0;
    const double across = grid ? grid->width / std::max(1, s.rows) : 0;
    pages.row(
        {QStringLiteral("Grid"), QStringLiteral("%1 columns × %2 rows = %3 points, spaced %4 × %5")
                                     .arg(s.columns)
                                     .arg(s.rows)
                                     .arg(s.points.size())
                                     .arg(metres(along), metres(across))},
        kTwo);
    // A grid set by hand is named as such, never passed off as the rule's.
    const QString departure = survey::gridDeparture(s);
    pages.row({QStringLiteral("Grid rule"),
               departure.isEmpty() ? rule + QStringLiteral("; points at the centres of the cells")
                                   : QStringLiteral("Set by hand, departing from the rule (%1): %2")
                                         .arg(rule, departure)},
              kTwo);
    pages.skip(2);
}

void requirementSection(ReportPages& pages, const survey::Survey& s) {
    pages.font(11, true);
    pages.line(QStringLiteral("Requirement"));
    pages.font(9);
    if (s.areas.isEmpty()) {
        const survey::Requirement& r = s.requirement;
        pages.row({QStringLiteral("Task"), r.name.isEmpty() ? QStringLiteral("(none)") : r.name},
                  kTwo);
        pages.row({QStringLiteral("Criteria"), criteria(r)}, kTwo);
    }
    for (const survey::Area& a : s.areas)
        pages.row({a.name, criteria(a.requirement)}, kTwo);
    if (!s.areas.isEmpty())
        pages.paragraph(QStringLiteral(
            "Immediate surrounding areas: Ē stepped down from the task's (750 lx or more: 500; "
            "500: 300; 300: 200; 200 or less: the task's own), U0 ≥ 0.40. Background area: Ē "
            "at least a third of the immediate surrounding area's, U0 ≥ 0.10 (EN 12464-1:2021, "
            "5.3.3 and 5.3.4)."));
    pages.skip(2);
}

QString clock(const QDateTime& t) {
    return QLocale::c().toString(t.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm"));
}

void meterSection(ReportPages& pages, const survey::Survey& s, const Extras& extras) {
    pages.font(11, true);
    pages.line(QStringLiteral("Meter"));
    pages.font(9);
    const QString instrument = survey::instrumentLine(s.instrument);
    pages.row({QStringLiteral("Instrument"),
               instrument.isEmpty() ? QStringLiteral("not stated") : instrument},
              kTwo);
    if (const QString age = survey::calibrationAgeNote(s); !age.isEmpty())
        pages.row({QStringLiteral("Calibration"), QStringLiteral("Note: %1.").arg(age)}, kTwo);
    if (extras.calibration)
        pages.row({QStringLiteral("Calibration factor"), *extras.calibration}, kTwo);
    if (extras.scf)
        pages.row({QStringLiteral("SCF"), *extras.scf}, kTwo);
    if (!extras.meterNote.isEmpty())
        pages.row({QString(), extras.meterNote}, kTwo);
    pages.skip(2);
}

// How the light was measured: stable first, daylight taken out, new or in service.
void conditionsSection(ReportPages& pages, const survey::Survey& s) {
    pages.font(11, true);
    pages.line(QStringLiteral("Conditions of measurement"));
    pages.font(9);
    QString stability = survey::stabilityVerdict(s.stability);
    stability[0] = stability[0].toUpper();
    if (!s.stability.isEmpty()) {
        QStringList readings;
        for (const survey::StabilityReading& r : s.stability)
            readings << QStringLiteral("%1 %2 lx")
                            .arg(QLocale::c().toString(r.at.toLocalTime(), QStringLiteral("HH:mm")))
                            .arg(survey::illuminance(r.lux, survey::lux()));
        stability += QStringLiteral(" (%1)").arg(readings.join(QStringLiteral(", ")));
    }
    pages.row({QStringLiteral("Stability"), stability}, kTwo);
    const survey::Installation& in = s.installation;
    pages.row({QStringLiteral("Installation"),
               in.isNew ? QStringLiteral("New installation, maintenance factor MF %1: the "
                                         "measured Ē × MF is judged against the required "
                                         "maintained Ēm; uniformity is not scaled")
                              .arg(in.maintenanceFactor, 0, 'f', 2)
                        : QStringLiteral("In service: the measured Ē is judged against the "
                                         "required maintained Ēm")},
              kTwo);
    const QString light = survey::lightNote(s);
    pages.row({QStringLiteral("Light"),
               light.isEmpty() ? QStringLiteral("Measured with the lights on; no lights-off pass")
                               : light},
              kTwo);
    for (const bool off : {false, true}) {
        if (const auto pass = survey::passTimes(s, off))
            pages.row({off ? QStringLiteral("Lights-off pass") : QStringLiteral("Lights-on pass"),
                       QStringLiteral("%1 to %2").arg(clock(pass->first), clock(pass->second))},
                      kTwo);
    }
    pages.skip(2);
}

// The earlier survey beside this one, and the points whose light fell.
void comparisonSection(ReportPages& pages, QPainter& painter, const survey::Survey& s) {
    if (!s.baseline)
        return;
    const survey::Baseline& b = *s.baseline;
    pages.newPage();
    pages.font(11, true);
    pages.line(QStringLiteral("Change since the earlier survey"));
    pages.font(9);
    const QString then = b.date.isValid() ? b.date.toString(Qt::ISODate) : QStringLiteral("–");
    pages.row(
        {QStringLiteral("Earlier survey"), QStringLiteral("%1, measured %2").arg(b.file, then)},
        kTwo);
    pages.row({QStringLiteral("Light compared"),
               b.electric ? QStringLiteral("the electric light alone, in both surveys")
                          : QStringLiteral("with lights on, daylight included, in both surveys")},
              kTwo);
    pages.row({QStringLiteral("Points compared"),
               QStringLiteral("%1 of %2, matched by name and place within %3 m")
                   .arg(survey::matchedPoints(s))
                   .arg(s.points.size())
                   .arg(survey::kSamePlace, 0, 'f', 2)},
              kTwo);
    pages.skip(1);
    const auto now = survey::comparedFigures(s);
    const QList<double> columns{0, 0.3, 0.55, 0.8};
    pages.row({QStringLiteral("Figure"), QStringLiteral("Earlier (%1)").arg(then),
               QStringLiteral("Now (%1)").arg(survey::surveyDate(s).toString(Qt::ISODate)),
               QString()},
              columns, true);
    pages.row({QStringLiteral("Average Ē"),
               survey::illuminance(b.average, survey::lux()) + QStringLiteral(" lx"),
               now ? survey::illuminance(now->average, survey::lux()) + QStringLiteral(" lx")
                   : QStringLiteral("–"),
               QString()},
              columns);
    pages.row({QStringLiteral("U0 = Emin / Ē"), QString::number(b.u0, 'f', 2),
               now ? QString::number(now->u0, 'f', 2) : QStringLiteral("–"), QString()},
              columns);
    pages.skip(1);
    const QList<int> fallen = survey::fallenPoints(s);
    const auto values = survey::comparedValues(s);
    const auto changes = survey::changes(s);
    pages.font(10, true);
    pages.line(fallen.isEmpty()
                   ? QStringLiteral("No point fell by more than 20 %")
                   : QStringLiteral("Points that fell by more than 20 %: %1").arg(fallen.size()));
    pages.font(9);
    for (const int i : fallen) {
        const survey::Point& p = s.points[i];
        const auto& value = values[i];
        const double before = b.points[survey::baselinePointOf(s, p)].lux;
        pages.row({survey::pointName(s, p),
                   survey::illuminance(before, survey::lux()) + QStringLiteral(" lx"),
                   value ? survey::illuminance(*value, survey::lux()) + QStringLiteral(" lx")
                         : QStringLiteral("–"),
                   survey::changeText(*changes[i])},
                  columns);
    }
    pages.skip(2);
    pages.font(11, true);
    pages.line(QStringLiteral("Plan of the change (per cent of the earlier value)"));
    pages.font(7);
    const double height = std::min(pages.width() * 0.75, pages.room() - pages.mm(2));
    if (height < pages.mm(60))
        return;
    surveyplan::paint(painter, QRectF(0, pages.y(), pages.width(), height), s,
                      {survey::lux(), -1, surveyplan::Shown::Change});
    pages.advance(height + pages.mm(3));
}

void resultsSection(ReportPages& pages, const survey::Survey& s, const survey::Unit& unit) {
    pages.font(11, true);
    const QString overall = survey::verdict(s);
    const QString missing = survey::missingEvidence(s);
    pages.line(overall.isEmpty()   ? QStringLiteral("Results")
               : missing.isEmpty() ? QStringLiteral("Results: %1").arg(overall)
                                   : QStringLiteral("Results: %1 (%2)").arg(overall, missing));
    pages.font(9);
    if (const QString light = survey::lightNote(s); !light.isEmpty())
        pages.paragraph(light + QLatin1Char('.'));
    const auto maintained = [&](int area) {
        if (const QString m = survey::maintenanceSentence(s, unit, area); !m.isEmpty())
            pages.paragraph(QStringLiteral("New installation: %1.").arg(m));
    };
    if (s.areas.isEmpty()) {
        maintained(-1);
        resultsTable(pages, survey::results(s, unit));
    }
    // One table to each area, with its own verdict.
    for (int i = 0; i < s.areas.size(); ++i) {
        const QString v = survey::verdict(s, i);
        pages.font(10, true);
        pages.line(v.isEmpty() ? s.areas[i].name
                               : QStringLiteral("%1: %2").arg(s.areas[i].name, v));
        pages.font(9);
        maintained(i);
        resultsTable(pages, survey::results(s, unit, i));
        pages.skip(1);
    }
    pages.skip(2);
}

void planSection(ReportPages& pages, QPainter& painter, const survey::Survey& s,
                 const survey::Unit& unit) {
    // The plan: as large as the rest of the page allows, at least a third of a page.
    pages.font(11, true);
    pages.line(
        QStringLiteral("Plan (%1; to scale, column letters along the length)").arg(unit.name));
    pages.font(7);
    if (std::min(pages.width() * 0.75, pages.room() - pages.mm(2)) < pages.mm(70))
        pages.newPage();
    const double height = std::min(pages.width() * 0.75, pages.room() - pages.mm(2));
    // What the figures are of: the electric light once both passes are complete.
    surveyplan::paint(
        painter, QRectF(0, pages.y(), pages.width(), height), s,
        {unit, -1,
         survey::usesElectric(s) ? surveyplan::Shown::Electric : surveyplan::Shown::WithLights});
    pages.advance(height + pages.mm(3));
    if (std::any_of(s.points.begin(), s.points.end(),
                    [](const survey::Point& p) { return p.typed && p.lux; })) {
        pages.font(8);
        pages.line(QStringLiteral("* typed by hand, not measured"));
        pages.skip(2);
    }
}

// The table of points, in the order they were walked; with a lights-off pass, both passes
// and the electric light, and the points whose daylight may have moved.
void pointsSection(ReportPages& pages, const survey::Survey& s, const survey::Unit& unit) {
    pages.newPage();
    pages.font(11, true);
    pages.line(QStringLiteral("Points"));
    pages.font(8);
    const bool off = std::any_of(s.points.begin(), s.points.end(),
                                 [](const survey::Point& p) { return p.luxOff.has_value(); });
    const QList<double> columns = off ? QList<double>{0, 0.08, 0.16, 0.24, 0.32, 0.39, 0.47, 0.75}
                                      : QList<double>{0, 0.1, 0.21, 0.32, 0.45, 0.74};
    const auto header = [&] {
        QStringList cells{QStringLiteral("Point"), QStringLiteral("x"), QStringLiteral("y"),
                          QStringLiteral("E (%1)").arg(unit.name)};
        if (off)
            cells << QStringLiteral("Off") << QStringLiteral("Electric");
        cells << QStringLiteral("Taken") << QString();
        pages.row(cells, columns, true);
    };
    header();
    const auto value = [&](const std::optional<double>& v) {
        return v ? survey::illuminance(*v, unit) : QStringLiteral("–");
    };
    for (int i : survey::walkOrder(s)) {
        if (pages.room() < pages.lineHeight() * 1.2) {
            pages.newPage();
            header();
        }
        const survey::Point& p = s.points[i];
        QStringList notes;
        if (p.obstructed)
            notes << QStringLiteral("obstructed, not counted");
        else if (p.typed || p.typedOff)
            notes << QStringLiteral("typed by hand, not measured");
        if (survey::offExceedsOn(p))
            notes << QStringLiteral("off exceeds on");
        if (survey::passesApart(p))
            notes << QStringLiteral("passes %1 min apart: daylight moves")
                         .arg(std::abs(p.taken.secsTo(p.takenOff)) / 60);
        QStringList cells{survey::pointName(s, p), metres(p.x), metres(p.y), value(p.lux)};
        if (off)
            cells << value(p.luxOff) << value(survey::valueOf(p, survey::Light::Electric));
        cells << (p.taken.isValid() ? QLocale::c().toString(p.taken.toLocalTime(),
                                                            QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                    : QString())
              << notes.join(QStringLiteral("; "));
        pages.row(cells, columns);
    }
}

} // namespace

bool paint(QPagedPaintDevice& device, const survey::Survey& s, const Extras& extras) {
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    ReportPages pages(painter, device);
    pages.font(17, true);
    pages.paragraph(QStringLiteral("Lighting survey: %1")
                        .arg(s.name.isEmpty() ? QStringLiteral("(no name)") : s.name));
    pages.font(9);
    pages.line(QStringLiteral("Report made %1")
                   .arg(QLocale::c().toString(extras.made, QStringLiteral("yyyy-MM-dd HH:mm"))));
    pages.skip(3);
    roomSection(pages, s);
    requirementSection(pages, s);
    meterSection(pages, s, extras);
    conditionsSection(pages, s);
    resultsSection(pages, s, extras.unit);
    planSection(pages, painter, s, extras.unit);
    if (!s.notes.trimmed().isEmpty()) {
        pages.font(11, true);
        pages.line(QStringLiteral("Notes"));
        pages.font(9);
        pages.paragraph(s.notes);
        pages.skip(3);
    }
    pointsSection(pages, s, extras.unit);
    comparisonSection(pages, painter, s);
    return painter.end();
}

std::optional<QByteArray> pdf(const survey::Survey& s, const Extras& extras) {
    return reportPdf(QStringLiteral("Lighting survey: %1").arg(s.name),
                     [&](QPagedPaintDevice& writer) { return paint(writer, s, extras); });
}

} // namespace lumetra::surveyreport
