#pragma once

#include "graph/heatmap.h"
#include "model/exposure.h"

#include <QWidget>

class QPushButton;

namespace lumetra {

class Dialogs;
class HeatMapView;

// "Daily Profile": the mean illuminance of every hour of every day of a series, days down and
// hours across, hours without a reading left blank. Saved as PNG or PDF and printed like the
// graph.
class ProfileWindow : public QWidget {
    Q_OBJECT
public:
    ProfileWindow(const exposure::Profile& profile, bool datesAssumed, Dialogs& dialogs,
                  QWidget* parent = nullptr);

    HeatMapView* Map = nullptr;
    QPushButton* CmdSave = nullptr;
    QPushButton* CmdPrint = nullptr;

    void save();
    void print();

    // The profile as a heat map: the value in each cell, the days labelled by their dates.
    static heatmap::Map mapOf(const exposure::Profile& profile);

private:
    QString m_title;
    Dialogs& m_dialogs;
};

} // namespace lumetra
