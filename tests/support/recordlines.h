#pragma once

#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QString>

namespace lumetra::test {

// A record file as recorded or saved: one header line, then "n<TAB>DD-HH:MM:SS<TAB>value"
// (a saved grid ends each cell with a tab) numbered 1, 2, 3 … without a gap or a repeat, every
// line ending in CR LF. The number of records goes to count.
inline bool wellFormedRecords(const QByteArray& bytes, int* count) {
    const QList<QByteArray> lines = bytes.split('\n');
    static const QRegularExpression record(
        QStringLiteral("^(\\d+)\\t\\d\\d-\\d\\d:\\d\\d:\\d\\d\\t[^\\t]+\\t?\\r$"));
    int n = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (i == lines.size() - 1 && lines[i].isEmpty())
            break;
        const auto m = record.match(QString::fromLatin1(lines[i]));
        if (!m.hasMatch() || m.captured(1).toInt() != ++n)
            return false;
    }
    *count = n;
    return !lines.isEmpty() && lines[0].endsWith('\r');
}

} // namespace lumetra::test
