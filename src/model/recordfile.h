#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

namespace lumetra::recordfile {

// Record files: 8-bit text, fields separated by one tab, every line ending in CR LF.
inline constexpr char kLineEnd[] = "\r\n";
inline constexpr int kMaxRecords = 100000;

// "Lx<TAB>Time<TAB>Value" (the unit may be empty).
QString headerLine(const QString& unit);
// "DD-hh:nn:ss": day of month, hour, minutes, seconds.
QString timeStamp(const QDateTime& when);
// The time stamp and the reading: what a sample adds after its record number.
QString sampleText(const QDateTime& when, const QString& readingText);
// "n<TAB>DD-hh:nn:ss<TAB>reading".
QString recordLine(int number, const QString& sampleText);
// The unit a header line names: "Lx", else "Fc", else empty.
QString headerUnit(const QString& line);
// A line that is a record: a record number, a tab, and more (its line end may follow).
bool isRecordLine(QByteArrayView line);
// One record per line, fields at tabs; a trailing line end is not part of the last field.
QStringList fields(QString line);
// The same for a line still in bytes (without its line end), for big files: the first
// `columns` fields are appended to cells, missing ones as empty cells.
void appendFields(const char* line, qsizetype size, int columns, QVector<QString>& cells);
// A grid row as the grid save writes it: every cell followed by a tab.
QString gridLine(const QStringList& cells);
// A printed row: column 0 padded to 10 characters, columns 1 and 2 to 15. A longer cell is
// printed whole, followed by one blank so that it does not run into the next one.
QString printedLine(const QStringList& cells);

// Text in and out of the files' 8-bit encoding.
QByteArray encode(const QString& text);
// One cell of a saved line and the tab after it, encoded like encode(), appended to out:
// saving a big list builds no string per line.
void appendGridCell(QByteArray& out, QStringView cell);
QString decode(const QByteArray& bytes);

} // namespace lumetra::recordfile
