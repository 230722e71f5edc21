#pragma once

#include <QDateTime>
#include <QString>

class QWidget;

namespace lumetra {

class Dialogs;
class PollTimer;
class RecordTable;
struct AppState;

// The save dialog's filter, shared by every list that saves.
inline const QString kSaveFilter = QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|");
// Open reads record files and the recorder's CSV files alike.
inline const QString kOpenFilter =
    QStringLiteral("Readings (*.txt *.csv)|*.txt;*.csv|Text Files (*.txt)|*.txt|"
                   "CSV Files (*.csv)|*.csv|All Files (*.*)|*.*|");

// One key for one file, whichever way its path is written: links resolved where it exists.
QString sameFileKey(const QString& path);

// Asks for a file to save into: sets recordFileName and fileChosen (false on Cancel).
// now dates the name it suggests.
void chooseSaveFile(QWidget* parent, Dialogs& dialogs, AppState& state, const QDateTime& now);

// Writes the list to recordFileName, header row first, every cell followed by a tab; the
// caller's caption shows the progress. On failure the user is told which file and why.
// Clears fileChosen either way. The display poll (if given) rests while the rows are written:
// the job lets events run now and then, and a poll tick started there would hold the job
// beneath it for as long as it waits for a silent meter.
bool saveGrid(QWidget* caller, const RecordTable& table, Dialogs& dialogs, AppState& state,
              PollTimer* poll);

inline const QString kCsvFilter = QStringLiteral("CSV Files (*.csv)|*.csv|All Files (*.*)|*.*|");

// Asks for a file and writes the list into it as CSV (time with date, reading, unit, status),
// whole or not at all; dates from the list's day stamps and the reference (see listCsv). On
// failure the user is told which file and why.
bool exportCsv(QWidget* caller, const RecordTable& table, Dialogs& dialogs,
               const QDateTime& reference, bool datesAssumed);

// Prints the list in fixed columns after the printer dialog; the caller's caption shows
// the progress. The display poll (if given) rests for the length of the print.
bool printGrid(QWidget* caller, const RecordTable& table, Dialogs& dialogs, PollTimer* poll);

struct ReadReport {
    bool opened = false;
    QString error;            // why the file could not be read (empty when it could)
    int records = 0;          // data lines appended
    int skippedLines = 0;     // lines too long to be records
    int otherUnitRows = 0;    // CSV rows in no unit the lists know, left out
    int convertedRows = 0;    // CSV rows in the other unit than the first, converted to it
    bool interrupted = false; // the window went away while reading
};

// Reads a record file into table: the unit of its header line into the first header cell,
// then one row per line with its tab-separated fields. Progress goes to the caller's
// caption; the window stays responsive. The display poll (if given) rests meanwhile, as for a
// save.
ReadReport readRecordFile(const QString& path, RecordTable& table, QWidget* caller,
                          PollTimer* poll);

} // namespace lumetra
