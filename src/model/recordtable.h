#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>
#include <QVector>

namespace lumetra {

// A list of records with a header row (three columns unless told otherwise): the store
// behind the live list, the file list, the downloaded data list and the set table. Row 0 of
// the lists is the header; data rows are 1..rowCount() in the lists' own numbering and
// 0..rowCount()-1 in the model.
class RecordTable : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordTable(QObject* parent = nullptr) : RecordTable(3, parent) {}
    RecordTable(int columns, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void setHeader(int column, const QString& text);
    // What a column holds, beyond its caption (its unit), shown over the header.
    void setHeaderTip(int column, const QString& tip);
    QString header(int column) const { return m_header.value(column); }
    // Appends one row; fields beyond the third are ignored, missing ones are empty.
    void appendRow(const QStringList& fields);
    void appendRows(const QVector<QStringList>& rows);
    // Whole rows given cell after cell (a multiple of columnCount() cells), in one insert.
    void appendRowCells(const QVector<QString>& cells);
    void clear();

    // Cells of list row r: r = 0 is the header row.
    QStringList listRow(int r) const;
    QString cell(int dataRow, int column) const;
    // The cells of data row r, columnCount() of them (r must be a data row).
    const QString* rowCells(int dataRow) const {
        return m_cells.constData() + qsizetype(dataRow) * m_columns;
    }
    // Data rows plus the header row, as the lists count them.
    int listRowCount() const { return rowCount() + 1; }

    void setCentred(bool centred) { m_centred = centred; }
    // The moments of the rows where the file gave them whole, with their UTC offsets (a
    // recorder's CSV), in milliseconds since the epoch; empty for a record file, whose stamps
    // keep day and time only.
    void appendExactTimes(const QList<qint64>& ms) { m_exactTimes += ms; }
    const QList<qint64>& exactTimes() const { return m_exactTimes; }

private:
    void appendCells(const QStringList& fields);

    int m_columns;
    QStringList m_header;
    QHash<int, QString> m_headerTips;
    QVector<QString> m_cells; // row after row, m_columns cells each
    QList<qint64> m_exactTimes;
    bool m_centred = true;
};

} // namespace lumetra
