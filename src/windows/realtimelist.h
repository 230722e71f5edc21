#pragma once

#include "link/samplesink.h"
#include "widgets/listwindow.h"

namespace lumetra {

// "Real Time List": one row per PC sampling moment while it is open.
class RealTimeList : public ListWindow, public SampleSink {
    Q_OBJECT
public:
    // The list records in the unit the meter shows now.
    RealTimeList(const QString& unitText, QWidget* parent = nullptr);

    bool datesKnown() const override { return true; }
    // Appends "number, time stamp, reading" and keeps the newest row in view.
    void appendSample(int number, const QString& timeStamp, const QString& reading) override;
    // Closes the list (after a save or print it is running, if one is).
    void endSamples() override { close(); }
    // "-", the first missed moment, "----" (a gap in a plot of the list).
    void appendGap(const QString& timeStamp, int missed) override;
};

} // namespace lumetra
