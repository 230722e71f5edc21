// The emergency-lighting test at its longest rule: 3 h at one sample a second (10 800 kept
// samples, four a second through the response). The window's work per sample (keep the row,
// judge the whole series again, draw the curve) against the row's write alone; the PDF report
// against a bare page with the same line; --assess on the 3 h CSV against the program's start
// alone.
//
// Usage: bench_emergency
#include "graph/emergencycurve.h"
#include "graph/emergencyreport.h"
#include "link/emergencyrun.h"
#include "platform/clock.h"
#include "platform/recordappender.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace {

using namespace lumetra;

constexpr double kRatedS = 3 * 3600;

// The light of a 3 h test: the normal level, the failure at 10 s, a rise over 2 s and a slow
// decay that still holds 1.2 lx at the end.
QList<Sample> threeHours(const QDateTime& t0) {
    QList<Sample> out;
    const auto lux = [](double t) {
        if (t < 10)
            return 420.0;
        return t < 12 ? 0.3 + (t - 10) : 2.3 - 1.1 * (t - 12) / kRatedS;
    };
    for (double t = 0; t <= kRatedS + 12; t += 0.25) {
        Sample s;
        s.time = t0.addMSecs(qint64(t * 1000));
        s.value = std::round(lux(t) * 100) / 100;
        s.readingText = QString::number(s.value, 'f', 2);
        s.unit = QStringLiteral("Lx");
        out << s;
    }
    return out;
}

double ms(const QElapsedTimer& t) {
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir dir;
    const QDateTime t0 = QDateTime::fromString(QStringLiteral("2026-12-10T08:00:00Z"), Qt::ISODate);
    const QList<Sample> light = threeHours(t0);
    ManualClock clock(t0);
    const QString csv = dir.filePath(QStringLiteral("3h.csv"));
    EmergencyRun run({*emergency::ruleById(QStringLiteral("nfpa101")), kRatedS, csv}, clock);
    QString error;
    if (!run.open(error)) {
        out << error << Qt::endl;
        return 1;
    }
    EmergencyCurve curve;
    curve.resize(900, 320);
    curve.show();
    double longest = 0, total = 0;
    for (const Sample& s : light) {
        clock.set(s.time);
        QElapsedTimer t;
        t.start();
        run.take(s);
        curve.setTest(run.input(), run.assessment());
        curve.repaint();
        longest = std::max(longest, ms(t));
        total += ms(t);
    }
    // The row's write alone, synced as the test writes it.
    RecordAppender bare;
    bare.open(dir.filePath(QStringLiteral("bare.csv")));
    double bareLongest = 0;
    for (qsizetype i = 0; i < run.rowsKept(); ++i) {
        QElapsedTimer t;
        t.start();
        bare.append(samples::csvRow(light[i], true).toUtf8());
        bareLongest = std::max(bareLongest, ms(t));
    }
    out << "emergency 3 h: " << run.rowsKept() << " samples kept, verdict "
        << emergency::verdictName(run.assessment().verdict) << Qt::endl;
    out << QStringLiteral("  per sample (keep, judge, draw): longest %1 ms, mean %2 ms; the "
                          "row's write alone: longest %3 ms")
               .arg(longest, 0, 'f', 2)
               .arg(total / double(light.size()), 0, 'f', 3)
               .arg(bareLongest, 0, 'f', 2)
        << Qt::endl;

    emergency::Meta meta;
    meta.location = QStringLiteral("Hall");
    QElapsedTimer report;
    report.start();
    const auto pdf = emergencyreport::pdf(run.input(), run.assessment(), meta);
    const double reportMs = ms(report);
    QElapsedTimer page;
    page.start();
    {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        QPainter p(&writer);
        QPolygonF line;
        for (qsizetype i = 0; i < run.input().readings.size(); ++i)
            line << QPointF(double(i) / 5, 500 + std::fmod(double(i), 300));
        p.drawPolyline(line);
    }
    out << QStringLiteral("  report: %1 ms (%2 bytes); a bare page with the same line: %3 ms")
               .arg(reportMs, 0, 'f', 1)
               .arg(pdf ? pdf->size() : 0)
               .arg(ms(page), 0, 'f', 1)
        << Qt::endl;

    const auto timed = [](const QStringList& args) {
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(QStringLiteral(LUMETRA_BIN_DIR "/lumetra-cli"), args);
        p.waitForFinished(60000);
        return ms(t);
    };
    const double assess = timed({QStringLiteral("emergency-test"), QStringLiteral("--assess"), csv,
                                 QStringLiteral("--rule"), QStringLiteral("nfpa101"),
                                 QStringLiteral("--duration"), QStringLiteral("10800")});
    const double start = timed({QStringLiteral("--version")});
    out << QStringLiteral("  --assess on the 3 h CSV (%1 KB): %2 ms; the program's start alone: "
                          "%3 ms")
               .arg(QFile(csv).size() / 1024)
               .arg(assess, 0, 'f', 1)
               .arg(start, 0, 'f', 1)
        << Qt::endl;
    return 0;
}
