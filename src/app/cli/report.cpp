// lumetra-cli report: a lighting survey's report from its file, as a PDF, and its points as
// CSV, without a display or a meter.
#include "common.h"

#include "graph/surveyreport.h"
#include "model/survey.h"
#include "platform/wholefile.h"

#include <QCommandLineParser>
#include <QDateTime>

#include <cstdio>

namespace lumetra::cli {
namespace {

survey::Unit extrasUnit(const QString& name) {
    return name == QLatin1String("fc") ? survey::footCandles() : survey::lux();
}

} // namespace

int report(const QStringList& arguments) {
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Makes the report of a lighting survey saved by Lumetra, as a PDF, and "
                       "its points as CSV. Needs neither a display nor a meter.\n\n") +
        QLatin1String(kExitCodes));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("report"), QStringLiteral("The subcommand."));
    p.addPositionalArgument(QStringLiteral("SURVEY"), QStringLiteral("The survey file (.json)."));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("The report's PDF file."),
                                    QStringLiteral("REPORT.pdf"));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("Also the points as CSV."),
                                 QStringLiteral("POINTS.csv"));
    const QCommandLineOption unit(QStringLiteral("unit"),
                                  QStringLiteral("lx (the default) or fc for the figures shown."),
                                  QStringLiteral("UNIT"), QStringLiteral("lx"));
    p.addOptions({output, csv, unit});
    if (!p.parse(arguments))
        return usage(p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(p.helpText()), stdout);
        return 0;
    }
    const QStringList files = p.positionalArguments().mid(1);
    if (files.size() != 1)
        return usage(QStringLiteral("name one survey file."));
    if (!p.isSet(output) && !p.isSet(csv))
        return usage(QStringLiteral("-o REPORT.pdf or --csv POINTS.csv is required."));
    const QString unitName = p.value(unit);
    if (unitName != QLatin1String("lx") && unitName != QLatin1String("fc"))
        return usage(QStringLiteral("--unit takes lx or fc."));

    QString error;
    const auto read = readSmallFile(files.first(), survey::kMostFileBytes, error);
    if (!read) {
        say(QStringLiteral("lumetra-cli: %1: %2").arg(files.first(), error));
        return kExitPort;
    }
    QString shortened;
    const auto s = survey::fromJson(*read, error, &shortened);
    if (!s) {
        say(QStringLiteral("lumetra-cli: %1: %2").arg(files.first(), error));
        return kExitData;
    }
    if (!shortened.isEmpty())
        say(QStringLiteral("lumetra-cli: %1: %2").arg(files.first(), shortened));
    if (p.isSet(csv)) {
        if (const QString e = saveWholeFile(p.value(csv), survey::pointsCsv(*s)); !e.isEmpty()) {
            say(QStringLiteral("lumetra-cli: %1: %2").arg(p.value(csv), e));
            return kExitOutput;
        }
    }
    if (p.isSet(output)) {
        surveyreport::Extras extras;
        extras.unit = extrasUnit(unitName);
        extras.made = QDateTime::currentDateTime();
        extras.meterNote = surveyreport::noMeterNote();
        const auto bytes = surveyreport::pdf(*s, extras);
        const QString e = bytes ? saveWholeFile(p.value(output), *bytes)
                                : QStringLiteral("the PDF could not be drawn");
        if (!e.isEmpty()) {
            say(QStringLiteral("lumetra-cli: %1: %2").arg(p.value(output), e));
            return kExitOutput;
        }
    }
    // The verdict, for scripts and for a person at a terminal.
    const QString verdict = survey::verdict(*s);
    const QString missing = survey::missingEvidence(*s);
    std::printf("%s\n", qPrintable(verdict.isEmpty() ? QStringLiteral("no verdict")
                                   : verdict == QLatin1String("INCOMPLETE")
                                       ? QStringLiteral("%1 (%2)").arg(verdict, missing)
                                       : verdict));
    // Each criterion that failed, with its figure and what was required.
    // (named by area where the room has areas).
    if (verdict == QLatin1String("FAIL")) {
        for (int area = s->areas.isEmpty() ? -2 : 0; area < s->areas.size(); ++area) {
            const QString prefix =
                area >= 0 ? s->areas[area].name + QStringLiteral(", ") : QString();
            for (const survey::Result& r : area < -1
                                               ? survey::results(*s, extrasUnit(unitName))
                                               : survey::results(*s, extrasUnit(unitName), area)) {
                // Failed plainly, or within the instrument's uncertainty (then said so).
                if (!r.verdict.startsWith(QLatin1String("fail"), Qt::CaseInsensitive))
                    continue;
                std::printf("%s\n",
                            qPrintable(QStringLiteral("%1%2: %3, required %4%5")
                                           .arg(prefix, r.what, r.value, r.required,
                                                r.verdict == QLatin1String("FAIL")
                                                    ? QString()
                                                    : QStringLiteral(" (%1)").arg(r.verdict))));
            }
            if (area < 0)
                break;
        }
    }
    return 0;
}

} // namespace lumetra::cli
