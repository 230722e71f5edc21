#pragma once

#include <QString>
#include <QVariant>

namespace lumetra {

// Stores one value remembered between runs and writes the settings file at once (whole or
// not at all). Returns what to tell the user when the file could not be written, empty when
// it was.
QString remember(const QString& key, const QVariant& value);

} // namespace lumetra
