#include "portnames.h"

#include <QRegularExpression>

namespace lumetra {

QString PortChoice::label() const {
    if (number > 0)
        return QStringLiteral("COM%1").arg(number);
    QString shortName = device;
    if (shortName.startsWith(QLatin1String("/dev/")))
        shortName = shortName.mid(5);
    return shortName;
}

namespace portnames {

QString listName(int number) {
    return QStringLiteral("COM  %1").arg(number);
}

QStringList allListNames() {
    QStringList names;
    for (int i = 1; i <= kPortCount; ++i)
        names << listName(i);
    return names;
}

QString deviceForNumber(int number) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(number);
#else
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

PortChoice choose(const QString& text, const PortChoice& previous, const DeviceMap& devices) {
    if (text == QLatin1String("Auto"))
        return {1, devices(1)};
    for (int i = 1; i <= kPortCount; ++i) {
        if (text == listName(i))
            return {quint16(i), devices(i)};
    }
#ifndef Q_OS_WIN
    // A typed device path: an absolute path below /dev with no blanks or parent steps.
    static const QRegularExpression path(QStringLiteral("^/dev/[A-Za-z0-9_./-]+$"));
    if (path.match(text).hasMatch() && !text.contains(QLatin1String("..")))
        return {0, text};
#endif
    return previous;
}

} // namespace portnames
} // namespace lumetra
