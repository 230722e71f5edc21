#include "support/linkfixture.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace lumetra::test {

MeterFixture::MeterFixture() {
    meter = std::make_unique<sim::VirtualMeter>();
    meter->setPaced(false);
    meter->setDrift(false);
    if (!meter->start())
        qFatal("cannot start the virtual meter: %s", qPrintable(meter->errorText()));
    link = std::make_unique<MeterLink>();
    if (!link->open(PortChoice{0, meter->devicePath()}))
        qFatal("cannot open %s: %s", qPrintable(meter->devicePath()),
               qPrintable(link->errorText()));
}

MeterFixture::~MeterFixture() {
    link.reset();
    meter.reset();
}

bool waitFor(const std::function<bool()>& pred, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

QByteArray frame(const char* innerHex) {
    QByteArray inner = QByteArray::fromHex(innerHex);
    Q_ASSERT(inner.size() == 12);
    return QByteArray(1, char(0x02)) + inner + QByteArray(1, char(0x03));
}

} // namespace lumetra::test
