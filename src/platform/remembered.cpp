#include "remembered.h"

#include <QDir>
#include <QSettings>

namespace lumetra {

QString remember(const QString& key, const QVariant& value) {
    QSettings settings;
    settings.setValue(key, value);
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return {};
    return QStringLiteral("Lumetra could not remember its settings: %1 cannot be written.")
        .arg(QDir::toNativeSeparators(settings.fileName()));
}

} // namespace lumetra
