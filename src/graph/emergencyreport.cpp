#include "emergencyreport.h"

#include "graph/reportpages.h"
#include "model/numbers.h"

#include <QBuffer>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainterPath>
#include <QPdfWriter>

#include <cmath>

namespace lumetra::emergencyreport {
namespace {

using emergency::durationText;
using emergency::luxText;

QString passOrFail(bool pass) {
    return pass ? QStringLiteral("pass") : QStringLiteral("fail");
}

QString when(const QDateTime& t) {
    return t.isValid()
               ? QLocale::c().toString(t.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss"))
               : QStringLiteral("–");
}

// The time axis in whole minutes, or seconds for a short test.
QString axisTime(double s, double span) {
    if (span >= 300)
        return QStringLiteral("%1 min").arg(std::round(s / 60));
    return QStringLiteral("%1 s").arg(std::round(s));
}

// A dashed line across the plot, its label in its own row so that labels close in time stay
// apart; at the right edge the label goes to the line's left.
void marker(QPainter& p, const QRectF& plot, double x, const QColor& colour, const QString& label,
            int row) {
    p.setPen(QPen(colour, 0, Qt::DashLine));
    p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    p.setPen(colour);
    const QFontMetricsF fm(p.font());
    const double w = fm.horizontalAdvance(label) + 6, y = plot.top() + 2 + row * fm.height();
    const bool left = x + w > plot.right();
    p.drawText(QRectF(left ? x - w : x + 3, y, w, fm.height()),
               (left ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, label);
}

void walkRows(QList<Criterion>& rows, const emergency::WalkFigures& f, const QString& when,
              double minimum, double average, const emergency::Rule& rule) {
    if (f.count == 0)
        return;
    rows << Criterion{QStringLiteral("Walk %1: Emin of %2 points").arg(when).arg(f.count),
                      luxText(f.minLux), QStringLiteral("≥ %1").arg(luxText(minimum)),
                      passOrFail(f.minLux >= minimum)};
    rows << Criterion{QStringLiteral("Walk %1: Emax/Emin").arg(when),
                      QString::number(f.ratio(), 'f', 1), QStringLiteral("≤ %1").arg(rule.ratioMax),
                      passOrFail(f.ratio() <= rule.ratioMax)};
    rows << Criterion{QStringLiteral("Walk %1: average").arg(when), luxText(f.averageLux),
                      average >= 0 ? QStringLiteral("≥ %1").arg(luxText(average))
                                   : QStringLiteral("–"),
                      average >= 0 ? passOrFail(f.averageLux >= average) : QStringLiteral("–")};
}

} // namespace

QList<Criterion> criteria(const emergency::Input& in, const emergency::Assessment& a) {
    QList<Criterion> rows;
    const auto response = [&](const std::optional<double>& t, double limit, int percent,
                              double lux) {
        if (limit < 0)
            return;
        rows << Criterion{
            QStringLiteral("Response to %1 % of the minimum (%2)").arg(percent).arg(luxText(lux)),
            t ? durationText(*t) : QStringLiteral("not reached"),
            QStringLiteral("≤ %1").arg(durationText(limit)), passOrFail(t && *t <= limit + 1e-9)};
    };
    response(a.t50S, in.rule.t50LimitS, 50, a.responseLux / 2);
    response(a.t100S, in.rule.t100LimitS, 100, a.responseLux);
    double longest = 0;
    for (const emergency::Stretch& s : a.dips)
        longest = std::max(longest, s.length());
    rows << Criterion{
        QStringLiteral("Below %1 for %2 or longer after the response")
            .arg(luxText(a.requiredLux), durationText(emergency::kDipLimitS)),
        a.timeToFailureS ? QStringLiteral("from %1").arg(durationText(*a.timeToFailureS))
        : longest > 0    ? QStringLiteral("never (longest dip %1)").arg(durationText(longest))
                         : QStringLiteral("never"),
        QStringLiteral("never"), passOrFail(!a.timeToFailureS)};
    rows << Criterion{QStringLiteral("Reading at the end of the rated duration"),
                      a.endLux ? luxText(*a.endLux) : QStringLiteral("–"),
                      QStringLiteral("≥ %1").arg(luxText(a.requiredLux)),
                      a.endLux ? passOrFail(*a.endLux >= a.requiredLux) : QStringLiteral("–")};
    rows << Criterion{QStringLiteral("Lowest reading after the response"), luxText(a.lowestLux),
                      QStringLiteral("(shown)"), QStringLiteral("–")};
    rows << Criterion{QStringLiteral("Time without readings"), durationText(a.gapsS),
                      QStringLiteral("≤ %1").arg(durationText(emergency::kGapLimitS)),
                      a.gapsS > emergency::kGapLimitS ? QStringLiteral("incomplete")
                                                      : QStringLiteral("pass")};
    walkRows(rows, a.startWalk, QStringLiteral("at the start"), a.responseLux,
             in.rule.startAverageLux, in.rule);
    walkRows(rows, a.endWalk, QStringLiteral("at the end"), a.requiredLux, in.rule.endAverageLux,
             in.rule);
    return rows;
}

void paintCurve(QPainter& p, const QRectF& area, const emergency::Input& in,
                const emergency::Assessment& a) {
    p.save();
    const QFontMetricsF fm(p.font());
    const QRectF plot = area.adjusted(fm.horizontalAdvance(QStringLiteral("0000.0 lx")),
                                      fm.height() * 0.5, -fm.height(), -fm.height() * 1.6);
    // Seconds from the failure; before it, the last minute so far.
    const qint64 zero = a.failureFound          ? a.failureMs
                        : in.readings.isEmpty() ? 0
                                                : in.readings.last().ms - 60'000;
    const double from = a.failureFound ? 0 : 0, to = a.failureFound ? in.ratedS : 60;
    double high = std::max(a.requiredLux, a.responseLux) * 2;
    for (const emergency::Reading& r : in.readings) {
        const double t = double(r.ms - zero) / 1000.0;
        if (t >= from && t <= to && std::isfinite(r.lux) && (a.failureFound ? t > 0 : true))
            high = std::max(high, r.lux);
    }
    high = roundUp(high);
    const auto x = [&](double t) { return plot.left() + (t - from) / (to - from) * plot.width(); };
    const auto y = [&](double lux) {
        return plot.bottom() - std::clamp(lux / high, 0.0, 1.02) * plot.height();
    };
    p.setPen(QPen(Qt::black, 0));
    p.drawRect(plot);
    for (int i = 0; i <= 4; ++i) {
        const double v = high * i / 4, t = from + (to - from) * i / 4;
        p.drawText(
            QRectF(area.left(), y(v) - fm.height() / 2, plot.left() - area.left() - 4, fm.height()),
            Qt::AlignRight | Qt::AlignVCenter, luxText(v));
        p.drawText(QRectF(x(t) - 60, plot.bottom() + 2, 120, fm.height()), Qt::AlignHCenter,
                   axisTime(t, to - from));
    }
    p.setPen(QPen(QColor(200, 0, 0), 0, Qt::DashLine));
    p.drawLine(QPointF(plot.left(), y(a.requiredLux)), QPointF(plot.right(), y(a.requiredLux)));
    QPainterPath path;
    bool pen = false;
    for (const emergency::Reading& r : in.readings) {
        const double t = double(r.ms - zero) / 1000.0;
        if (t < from || t > to || std::isnan(r.lux)) {
            pen = false; // a gap is left open
            continue;
        }
        const QPointF at(x(t), y(std::isinf(r.lux) ? high : r.lux));
        pen ? path.lineTo(at) : path.moveTo(at);
        pen = true;
    }
    p.setClipRect(plot.adjusted(-1, -1, 1, 1));
    p.setPen(QPen(QColor(0, 70, 160), std::max(1.0, fm.height() / 10)));
    p.drawPath(path);
    p.setClipping(false);
    if (a.failureFound) {
        p.setFont(QFont(p.font().family(), std::max(6, p.font().pointSize() - 1)));
        marker(p, plot, x(0), QColor(90, 90, 90), QStringLiteral("mains failure"), 0);
        if (a.t100S)
            marker(p, plot, x(*a.t100S), QColor(0, 120, 0), QStringLiteral("response"), 1);
        if (a.timeToFailureS)
            marker(p, plot, x(*a.timeToFailureS), QColor(200, 0, 0), QStringLiteral("FAILED"), 2);
        marker(p, plot, x(in.ratedS), QColor(90, 90, 90), QStringLiteral("end"), 0);
    }
    p.restore();
}

bool paint(QPagedPaintDevice& device, const emergency::Input& in, const emergency::Assessment& a,
           const emergency::Meta& m) {
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    ReportPages pages(painter, device);
    pages.font(17, true);
    pages.paragraph(QStringLiteral("Emergency lighting test: %1")
                        .arg(m.location.isEmpty() ? QStringLiteral("(no location)") : m.location));
    pages.font(9);
    const QList<double> two{0, 0.32};
    const QString verdict = emergency::verdictName(a.verdict).toUpper();
    pages.row({QStringLiteral("Luminaire"), m.luminaire}, two);
    pages.row({QStringLiteral("Tester"), m.tester}, two);
    pages.row({QStringLiteral("Rule"), in.rule.name}, two);
    pages.row({QStringLiteral("Rated duration"), durationText(in.ratedS)}, two);
    pages.row({QStringLiteral("Started"), when(m.started)}, two);
    pages.row({QStringLiteral("Mains failure"),
               a.failureFound ? when(QDateTime::fromMSecsSinceEpoch(a.failureMs))
                              : QStringLiteral("not found")},
              two);
    pages.row({QStringLiteral("Ended"), when(m.ended)}, two);
    pages.row({QStringLiteral("Normal level"), luxText(a.normalLux)}, two);
    pages.row({QStringLiteral("Calibration factor"),
               m.calibrationFactor ? QString::number(*m.calibrationFactor, 'f', 3)
                                   : QStringLiteral("not read")},
              two);
    pages.row(
        {QStringLiteral("Samples"), m.samplesFile.isEmpty() ? QStringLiteral("–") : m.samplesFile},
        two);
    pages.skip(3);
    pages.font(12, true);
    pages.line(
        QStringLiteral("Verdict: %1").arg(verdict.isEmpty() ? QStringLiteral("RUNNING") : verdict));
    pages.font(9);
    for (const QString& reason : a.reasons)
        pages.paragraph(QStringLiteral("• ") + reason);
    pages.skip(2);
    const QList<double> four{0, 0.45, 0.66, 0.85};
    pages.row({QStringLiteral("Criterion"), QStringLiteral("Measured"), QStringLiteral("Required"),
               QStringLiteral("Verdict")},
              four, true);
    for (const Criterion& c : criteria(in, a))
        pages.row({c.what, c.measured, c.required, c.verdict}, four);
    pages.skip(1);
    pages.font(8);
    pages.paragraph(QStringLiteral("Times count from the mains failure and are resolved to the "
                                   "display period (%1).")
                        .arg(durationText(emergency::kResolutionS)));
    pages.skip(3);
    const double height = std::min(pages.width() * 0.5, pages.room() - pages.mm(2));
    if (height < pages.mm(50))
        pages.newPage();
    const double h = std::min(pages.width() * 0.5, pages.room() - pages.mm(2));
    pages.font(8);
    paintCurve(painter, QRectF(0, pages.y(), pages.width(), h), in, a);
    pages.advance(h + pages.mm(3));
    if (!in.walk.isEmpty()) {
        pages.font(11, true);
        pages.line(QStringLiteral("Walk"));
        pages.font(9);
        const QList<double> three{0, 0.3, 0.6};
        pages.row({QStringLiteral("Point"), QStringLiteral("Taken"), QStringLiteral("E")}, three,
                  true);
        for (const emergency::WalkPoint& w : in.walk)
            pages.row({w.name, durationText(w.tS), luxText(w.lux)}, three);
        pages.skip(3);
    }
    if (!a.gaps.isEmpty()) {
        pages.font(11, true);
        pages.line(QStringLiteral("Gaps"));
        pages.font(9);
        for (const emergency::Stretch& g : a.gaps)
            pages.line(
                QStringLiteral("%1 to %2 (%3)")
                    .arg(durationText(g.fromS), durationText(g.toS), durationText(g.length())));
        pages.skip(3);
    }
    pages.font(11, true);
    pages.line(QStringLiteral("Remarks"));
    pages.font(9);
    pages.paragraph(m.remarks.trimmed().isEmpty() ? QStringLiteral("(none)") : m.remarks);
    pages.skip(12);
    pages.line(QStringLiteral("Signed: ______________________________    Date: ______________"));
    return painter.end();
}

std::optional<QByteArray> pdf(const emergency::Input& in, const emergency::Assessment& a,
                              const emergency::Meta& m) {
    return reportPdf(QStringLiteral("Emergency lighting test: %1").arg(m.location),
                     [&](QPagedPaintDevice& writer) { return paint(writer, in, a, m); });
}

} // namespace lumetra::emergencyreport
