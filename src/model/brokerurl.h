#pragma once

#include <QString>

#include <optional>

namespace lumetra {

// Where to publish: mqtt://[user[:password]@]host[:port], or mqtts:// for TLS.
struct BrokerUrl {
    QString host;
    int port = 1883;
    bool tls = false;
    QString user;
    QString password;
};

// Nothing (with the reason in `error`) for anything else. A password not in the URL is
// taken from `passwordFromEnvironment` when that is set, so it need not be on the command
// line.
std::optional<BrokerUrl> parseBrokerUrl(const QString& url, const QString& passwordFromEnvironment,
                                        QString& error);

} // namespace lumetra
