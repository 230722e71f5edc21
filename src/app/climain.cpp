// lumetra-cli: Lumetra without a display. "record" samples the meter unattended; "report" makes
// a lighting survey's report from its file; "emergency-test" runs an emergency-lighting
// duration test, or assesses a recording of one. Each subcommand is a file in cli/.
#include "app/cli/common.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <pwd.h>
#include <unistd.h>

using namespace lumetra::cli;

// The subcommand nearest to a mistyped one (fewest letters to change), for the message;
// empty when none is near.
QString nearestSubcommand(const QString& typed) {
    const auto distance = [](const QString& a, const QString& b) {
        QList<int> row(b.size() + 1);
        for (int j = 0; j <= b.size(); ++j)
            row[j] = j;
        for (int i = 1; i <= a.size(); ++i) {
            int diagonal = row[0];
            row[0] = i;
            for (int j = 1; j <= b.size(); ++j) {
                const int above = row[j];
                row[j] = std::min(
                    {row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
                diagonal = above;
            }
        }
        return row[b.size()];
    };
    const QStringList names{QStringLiteral("record"), QStringLiteral("report"),
                            QStringLiteral("emergency-test")};
    QString nearest;
    int fewest = 3; // only a near miss is a typing slip worth naming
    for (const QString& name : names) {
        if (const int d = distance(typed, name); d < fewest) {
            fewest = d;
            nearest = name;
        }
    }
    return nearest;
}

int main(int argc, char* argv[]) {
    // Qt warns of a missing runtime folder before any word of ours (a service, a plain
    // terminal login); it is the folder Qt would take anyway.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const passwd* user = ::getpwuid(::getuid());
        qputenv("XDG_RUNTIME_DIR",
                QByteArray("/tmp/runtime-") +
                    (user ? QByteArray(user->pw_name) : QByteArray::number(::getuid())));
    }
    const bool drawing = argc >= 2 && (std::strcmp(argv[1], "report") == 0 ||
                                       std::strcmp(argv[1], "emergency-test") == 0);
    if (drawing) {
        // Fonts and painting without a display: the offscreen platform, never a window.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("lumetra-cli"));
        if (std::strcmp(argv[1], "report") == 0)
            return report(app.arguments());
        return emergencyTest(app, app.arguments());
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumetra-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral("10.06"));
    const QStringList args = app.arguments();
    if (args.size() >= 2 && args.at(1) == QLatin1String("record"))
        return record(app, args);
    if (args.size() >= 2 &&
        (args.at(1) == QLatin1String("--version") || args.at(1) == QLatin1String("-v"))) {
        std::printf("lumetra-cli 10.06\n");
        return 0;
    }
    const bool help = args.size() >= 2 &&
                      (args.at(1) == QLatin1String("--help") || args.at(1) == QLatin1String("-h"));
    if (args.size() >= 2 && !help && !args.at(1).startsWith(QLatin1Char('-'))) {
        const QString nearest = nearestSubcommand(args.at(1));
        say(nearest.isEmpty()
                ? QStringLiteral("lumetra-cli: unknown subcommand \"%1\"; the subcommands are "
                                 "record, report and emergency-test.")
                      .arg(args.at(1))
                : QStringLiteral("lumetra-cli: unknown subcommand \"%1\"; did you mean \"%2\"?")
                      .arg(args.at(1), nearest));
        return kExitUsage;
    }
    std::fprintf(help ? stdout : stderr,
                 "Usage: lumetra-cli record --port DEVICE [options]\n"
                 "       lumetra-cli report SURVEY.json -o REPORT.pdf [--csv POINTS.csv]\n"
                 "       lumetra-cli emergency-test --port DEVICE --rule RULE --duration "
                 "SECONDS --location TEXT --logbook FILE [options]\n"
                 "       lumetra-cli emergency-test --assess RECORDING.csv --rule RULE "
                 "--duration SECONDS [--json] [--report FILE.pdf]\n\n"
                 "Subcommands:\n"
                 "  record    record the meter's readings without a display "
                 "(lumetra-cli record --help)\n"
                 "  report    make a lighting survey's report (lumetra-cli report --help)\n"
                 "  emergency-test\n"
                 "            run an emergency-lighting duration test, or assess a recording of "
                 "one\n            (lumetra-cli emergency-test --help)\n\n"
                 "%s\n",
                 kExitCodes);
    return help ? 0 : kExitUsage;
}
