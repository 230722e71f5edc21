#include "support/meterfixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

namespace lumetra::test {

PanelFixture::PanelFixture(bool online, bool waitForFirstFrame, Clock* clockOverride) {
    open(online, waitForFirstFrame, clockOverride);
}

PanelFixture::PanelFixture(const std::function<void(sim::VirtualMeter&)>& beforeStart,
                           bool waitForFirstFrame)
    : m_aliasDir(std::make_unique<QTemporaryDir>()),
      m_alias(m_aliasDir->filePath(QStringLiteral("meter"))) {
    if (beforeStart)
        beforeStart(meter);
    open(true, waitForFirstFrame, nullptr);
}

void PanelFixture::open(bool online, bool waitForFirstFrame, Clock* clockOverride) {
    meter.setPaced(false);
    meter.setDrift(false);
    meter.setLux(12.34);
    if (!meter.start())
        qFatal("no virtual meter");
    if (!m_alias.isEmpty() && !QFile::link(meter.devicePath(), m_alias))
        qFatal("cannot link %s", qPrintable(m_alias));
    panel = std::make_unique<Panel>(dialogs, clockOverride ? *clockOverride : clock);
    hub = std::make_unique<ToolbarHub>(*panel);
    panel->start(online ? PortChoice{3, devicePath()}
                        : PortChoice{0, QStringLiteral("/dev/ttyNOSUCH")});
    if (online && waitForFirstFrame)
        waitFor([this] { return panel->state().display.linkAlive; });
}

void PanelFixture::unplug() {
    meter.stop();
    QFile::remove(m_alias);
    m_plugged = false;
}

bool PanelFixture::replug() {
    if (m_plugged)
        return true;
    if (!meter.start() || !QFile::link(meter.devicePath(), m_alias))
        return false;
    m_plugged = true;
    return true;
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

} // namespace lumetra::test
