#include "brokerurl.h"

#include <QUrl>

namespace lumetra {

std::optional<BrokerUrl> parseBrokerUrl(const QString& text, const QString& passwordFromEnvironment,
                                        QString& error) {
    const QUrl url(text, QUrl::StrictMode);
    BrokerUrl b;
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts"))) {
        error = QStringLiteral("%1 is no broker address: mqtt://[user[:password]@]host[:port] "
                               "or mqtts://…")
                    .arg(text);
        return std::nullopt;
    }
    if (url.host().isEmpty() || (!url.path().isEmpty() && url.path() != QLatin1String("/"))) {
        error = QStringLiteral("%1 names no broker host (or has a path).").arg(text);
        return std::nullopt;
    }
    b.tls = scheme == QLatin1String("mqtts");
    b.host = url.host();
    b.port = url.port(b.tls ? 8883 : 1883);
    b.user = url.userName();
    b.password = url.password().isEmpty() ? passwordFromEnvironment : url.password();
    return b;
}

} // namespace lumetra
