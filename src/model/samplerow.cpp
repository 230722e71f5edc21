#include "samplerow.h"

#include "model/recordfile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace lumetra::samples {

Sample fromDisplay(const DisplayState& display, const QDateTime& when) {
    Sample s;
    s.time = when;
    s.unit = display.unitText;
    if (display.measuringModeActive())
        s.status = Sample::Mode;
    else if (display.readingText == QLatin1String("OL"))
        s.status = Sample::Over;
    else {
        bool ok = false;
        s.value = display.readingText.toDouble(&ok);
        // Digits that are no number (a blank or odd screen) are no reading either.
        s.status = ok ? Sample::Ok : Sample::Mode;
        if (ok)
            s.readingText = display.readingText;
    }
    return s;
}

Sample gap(const QDateTime& from, const QDateTime& until, bool answeredAgain) {
    Sample s;
    s.time = from;
    s.status = answeredAgain ? Sample::Gap : Sample::Away;
    s.until = until;
    return s;
}

QString statusName(Sample::Status status) {
    switch (status) {
    case Sample::Ok:
        return QStringLiteral("ok");
    case Sample::Over:
        return QStringLiteral("over");
    case Sample::Gap:
        return QStringLiteral("gap");
    case Sample::Mode:
        return QStringLiteral("mode");
    case Sample::Away:
        return QStringLiteral("away");
    }
    return {};
}

double lux(const Sample& sample) {
    if (sample.status != Sample::Ok)
        return std::nan("");
    return sample.unit == QLatin1String("Fc") ? sample.value * kLuxPerFootCandle : sample.value;
}

QString isoTime(const QDateTime& when, bool milliseconds) {
    if (!when.isValid())
        return {};
    const QDateTime local = when.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(milliseconds ? QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")
                                       : QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString csvHeader() {
    return QStringLiteral("time,reading,unit,status,until\n");
}

QString csvRow(const Sample& s, bool milliseconds) {
    return isoTime(s.time, milliseconds) + QLatin1Char(',') + s.readingText + QLatin1Char(',') +
           s.unit + QLatin1Char(',') + statusName(s.status) + QLatin1Char(',') +
           isoTime(s.until, milliseconds) + QLatin1Char('\n');
}

bool isCsvHeader(const QString& line) {
    return line.startsWith(QLatin1String("time,reading,unit,status"));
}

std::optional<CsvRecord> recordOfCsvRow(const QString& line) {
    const QStringList f = line.trimmed().split(QLatin1Char(','));
    if (f.size() < 4)
        return std::nullopt;
    const QDateTime time = QDateTime::fromString(f[0], Qt::ISODateWithMs);
    if (!time.isValid())
        return std::nullopt;
    CsvRecord r{recordfile::timeStamp(time.toLocalTime()), f[1], f[2], time.toMSecsSinceEpoch()};
    if (f[3] == QLatin1String("over"))
        r.reading = QStringLiteral("OL");
    else if (f[3] != QLatin1String("ok") || f[1].isEmpty())
        return std::nullopt;
    return r;
}

std::optional<QString> readingIn(const QString& reading, const QString& from, const QString& to) {
    if (from == to)
        return reading;
    const auto known = [](const QString& u) {
        return u == QLatin1String("Lx") || u == QLatin1String("Fc");
    };
    if (!known(from) || !known(to))
        return std::nullopt;
    bool ok = false;
    const double v = reading.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return reading;
    const qsizetype dot = reading.indexOf(QLatin1Char('.'));
    const int decimals = dot < 0 ? 0 : int(reading.size() - dot - 1);
    if (to == QLatin1String("Lx"))
        return QString::number(v * kLuxPerFootCandle, 'f', std::max(0, decimals - 1));
    return QString::number(v / kLuxPerFootCandle, 'f', std::min(3, decimals + 1));
}

QByteArray stateJson(const Sample& s, bool milliseconds) {
    QJsonObject o;
    o.insert(QStringLiteral("time"), isoTime(s.time, milliseconds));
    // Lux whatever the meter shows, to the reading's own resolution (foot-candles have one
    // digit more than the lux they stand for), so a subscriber gets no float noise; the
    // reading as shown has fields of its own.
    double l = lux(s);
    if (!std::isnan(l)) {
        const qsizetype dot = s.readingText.indexOf(QLatin1Char('.'));
        int decimals = dot < 0 ? 0 : int(s.readingText.size() - dot - 1);
        if (s.unit == QLatin1String("Fc"))
            decimals = std::max(0, decimals - 1);
        const double scale = std::pow(10.0, decimals);
        l = std::round(l * scale) / scale;
    }
    o.insert(QStringLiteral("illuminance"), std::isnan(l) ? QJsonValue() : QJsonValue(l));
    o.insert(QStringLiteral("reading"),
             s.status == Sample::Ok ? QJsonValue(s.value) : QJsonValue());
    o.insert(QStringLiteral("reading_unit"), s.unit);
    o.insert(QStringLiteral("status"), statusName(s.status));
    if (s.until.isValid())
        o.insert(QStringLiteral("until"), isoTime(s.until, milliseconds));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QString deviceLabel(const QString& devicePath) {
    static const QString byId = QStringLiteral("/dev/serial/by-id/");
    static const QString dev = QStringLiteral("/dev/");
    const QString path = QDir::cleanPath(devicePath);
    if (path.startsWith(byId) || !path.startsWith(dev))
        return QFileInfo(path).fileName();
    return path.mid(dev.size()).replace(QLatin1Char('/'), QLatin1Char('-'));
}

QString defaultTopic(const QString& host, const QString& deviceLabel) {
    // A topic level holds neither "/" nor the wildcards; a leading "$" is the broker's own.
    const auto level = [](QString text) {
        text.replace(QRegularExpression(QStringLiteral("[/+#\\x00-\\x1f$]")), QStringLiteral("_"));
        return text.isEmpty() ? QStringLiteral("_") : text;
    };
    return QStringLiteral("lumetra/%1/%2").arg(level(host), level(deviceLabel));
}

Discovery discovery(const QString& prefix, const QString& host, const QString& deviceLabel) {
    // Home Assistant takes only letters, digits, "_" and "-" in an object id.
    QString id = QStringLiteral("lumetra_%1_%2").arg(host, deviceLabel);
    id.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
    QJsonObject device;
    device.insert(QStringLiteral("identifiers"), QJsonArray{id});
    device.insert(QStringLiteral("name"),
                  QStringLiteral("Light meter on %1 at %2").arg(deviceLabel, host));
    device.insert(QStringLiteral("model"), QStringLiteral("Digital light meter"));
    device.insert(QStringLiteral("sw_version"), QStringLiteral("Lumetra"));
    QJsonObject o;
    o.insert(QStringLiteral("name"), QStringLiteral("Illuminance"));
    o.insert(QStringLiteral("unique_id"), id + QStringLiteral("_illuminance"));
    o.insert(QStringLiteral("state_topic"), prefix + QStringLiteral("/state"));
    o.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.illuminance }}"));
    o.insert(QStringLiteral("device_class"), QStringLiteral("illuminance"));
    o.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
    o.insert(QStringLiteral("unit_of_measurement"), QStringLiteral("lx"));
    o.insert(QStringLiteral("availability_topic"), prefix + QStringLiteral("/availability"));
    o.insert(QStringLiteral("device"), device);
    return {QStringLiteral("homeassistant/sensor/%1/config").arg(id).toUtf8(),
            QJsonDocument(o).toJson(QJsonDocument::Compact)};
}

} // namespace lumetra::samples
