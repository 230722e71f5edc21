#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QVector>

#include <array>

namespace lumetra {

// A three-column list of records with a header row: the store behind the live list, the
// file list and the downloaded data list. Row 0 of the lists is the header; data rows are
// 1..rowCount() in the lists' own numbering and 0..rowCount()-1 in the model.
class RecordTable : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 3;

    explicit RecordTable(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void setHeader(int column, const QString& text);
    QString header(int column) const { return m_header[size_t(column)]; }
    // Appends one row; fields beyond the third are ignored, missing ones are empty.
    void appendRow(const QStringList& fields);
    void appendRows(const QVector<QStringList>& rows);
    void clear();

    // Cells of list row r: r = 0 is the header row.
    QStringList listRow(int r) const;
    QString cell(int dataRow, int column) const;
    // Data rows plus the header row, as the lists count them.
    int listRowCount() const { return rowCount() + 1; }

    void setCentred(bool centred) { m_centred = centred; }

private:
    using Row = std::array<QString, kColumns>;
    static Row toRow(const QStringList& fields);

    std::array<QString, kColumns> m_header;
    QVector<Row> m_rows;
    bool m_centred = true;
};

} // namespace lumetra
