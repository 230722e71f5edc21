#pragma once

#include "commands/toolbarhub.h"
#include "link/meterlink.h"
#include "platform/clock.h"
#include "support/linkfixture.h"
#include "virtualmeter/virtualmeter.h"
#include "widgets/dialogs.h"
#include "windows/panel.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace lumetra::test {

// The main window with its toolbar commands, started on a fresh virtual meter (unpaced,
// steady at 12.34 lx), with scripted dialogs.
struct PanelFixture {
    explicit PanelFixture(bool online = true, bool waitForFirstFrame = true,
                          Clock* clockOverride = nullptr);
    // The main window opens the meter through a symbolic link, which unplug() removes and
    // replug() points at a new device, as an adapter that is pulled and plugged in again.
    // beforeStart runs before the window opens the port.
    PanelFixture(const std::function<void(sim::VirtualMeter&)>& beforeStart,
                 bool waitForFirstFrame);
    ~PanelFixture();

    void unplug();
    bool replug();
    bool plugged() const { return m_plugged; }
    QString devicePath() const { return m_alias.isEmpty() ? meter.devicePath() : m_alias; }

    sim::VirtualMeter meter;
    ScriptedDialogs dialogs;
    SystemClock clock;
    std::unique_ptr<Panel> panel;
    std::unique_ptr<ToolbarHub> hub;

    // Lights a flag on the meter and waits until the display shows it.
    bool light(const QString& flag, bool on = true);
    void click(const QString& key) { hub->click(key); }

private:
    void open(bool online, bool waitForFirstFrame, Clock* clockOverride);
    std::unique_ptr<QTemporaryDir> m_aliasDir;
    QString m_alias;
    bool m_plugged = true;
};

} // namespace lumetra::test
