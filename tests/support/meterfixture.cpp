#include "support/meterfixture.h"

#include <QCoreApplication>
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

PanelFixture::PanelFixture(bool online, bool waitForFirstFrame, Clock* clockOverride) {
    meter.setPaced(false);
    meter.setDrift(false);
    meter.setLux(12.34);
    if (!meter.start())
        qFatal("no virtual meter");
    panel = std::make_unique<Panel>(dialogs, clockOverride ? *clockOverride : clock);
    hub = std::make_unique<ToolbarHub>(*panel);
    panel->start(online ? PortChoice{3, meter.devicePath()}
                        : PortChoice{0, QStringLiteral("/dev/ttyNOSUCH")});
    if (online && waitForFirstFrame)
        waitFor([this] { return panel->state().display.linkAlive; });
}

PanelFixture::~PanelFixture() {
    hub.reset();
    // The windows the hub closed delete themselves later; that is now, before their meter goes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    panel.reset();
}

bool PanelFixture::light(const QString& flag, bool on) {
    meter.setFlag(flag, on);
    const int i = flagIndex(flag);
    return waitFor([&] { return panel->state().display.flags[size_t(i)] == on; });
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
