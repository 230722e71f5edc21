#pragma once

#include <QString>

namespace lumetra {

// A control with the object name the code finds it by and the name a screen reader says.
template <typename W> W* named(W* w, const char* name, const QString& accessible) {
    w->setObjectName(QLatin1String(name));
    w->setAccessibleName(accessible);
    return w;
}

} // namespace lumetra
