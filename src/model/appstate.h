#pragma once

#include "model/displaystate.h"
#include "model/liveseries.h"
#include "model/portnames.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QVector>

namespace lumetra {

// Everything the windows share, owned by the main window for the whole run and handed to
// each window by reference. Nothing here is saved between runs.
struct AppState {
    // Link
    PortChoice port;
    bool meterOnline = false;
    int pollCounter = 0;

    // The decoded meter display
    DisplayState display;
    // Readings decoded so far, and since when the last one shows (invalid before the first):
    // a sample is taken only from a reading the meter has sent lately.
    quint64 readingsDecoded = 0;
    QElapsedTimer sinceReading;
    // Since the last well-formed frame, one without a reading (SET UP, CLEAR) included.
    QElapsedTimer sinceFrame;
    static constexpr qint64 kFreshReadingMs = 2000;
    // A reading came after the count `seen` of readingsDecoded, or within the last 2 s: it is
    // a sample. Otherwise the meter has said nothing new (the poll rests, the link is down)
    // and the moment is a gap.
    bool readingFresh(quint64 seen) const {
        return readingsDecoded != seen ||
               (sinceReading.isValid() && sinceReading.elapsed() <= kFreshReadingMs);
    }

    // PC recording
    double sampleInterval = 2.0; // seconds, 1..86400
    qint64 sampleTick = 0;
    bool recordingToFile = false;
    int fileRecordCount = 0;
    QString fileUnit;
    bool listOpen = false;
    int listRecordCount = 0;
    QString listUnit;

    // The one record-file slot
    QString recordFileName;
    bool fileChosen = false;
    // Files a list is saving into right now (absolute paths): the save replaces them when it
    // ends, so a recording must not start in one of them.
    QStringList filesBeingSaved;

    // Live graph: its samples, and the value range handed to the graph view
    bool graphOpen = false;
    QString graphUnit;
    bool graphRestart = false;
    LiveSeries graphPoints;
    float graphRangeLow = 0, graphRangeHigh = 0;

    // The last stored reading, as text (data-logger records)
    QString valueLx;
    QString valueFc;
    bool showLux = true; // the data list shows lux (else foot-candles)

    // Meter memory
    static constexpr int kMaxSets = 10004;
    QVector<QByteArray> memorySets = QVector<QByteArray>(kMaxSets + 1);
    bool memoryOpen = false;
    bool memoryBusy = false;
    int downloadErrorCount = 0;
};

} // namespace lumetra
