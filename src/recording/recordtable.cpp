#include "recordtable.h"

namespace lumetra {

RecordTable::RecordTable(QObject* parent) : QAbstractTableModel(parent) {}

int RecordTable::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int RecordTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant RecordTable::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_rows[index.row()][size_t(index.column())];
    if (role == Qt::TextAlignmentRole && m_centred)
        return int(Qt::AlignCenter);
    return {};
}

QVariant RecordTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section >= 0 && section < kColumns) {
        if (role == Qt::DisplayRole)
            return m_header[size_t(section)];
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

void RecordTable::setHeader(int column, const QString& text) {
    m_header[size_t(column)] = text;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

RecordTable::Row RecordTable::toRow(const QStringList& fields) {
    Row row;
    for (int c = 0; c < kColumns && c < fields.size(); ++c)
        row[size_t(c)] = fields[c];
    return row;
}

void RecordTable::appendRow(const QStringList& fields) {
    const int at = int(m_rows.size());
    beginInsertRows({}, at, at);
    m_rows.append(toRow(fields));
    endInsertRows();
}

void RecordTable::appendRows(const QVector<QStringList>& rows) {
    if (rows.isEmpty())
        return;
    const int at = int(m_rows.size());
    beginInsertRows({}, at, at + int(rows.size()) - 1);
    m_rows.reserve(m_rows.size() + rows.size());
    for (const QStringList& r : rows)
        m_rows.append(toRow(r));
    endInsertRows();
}

void RecordTable::clear() {
    beginResetModel();
    m_rows.clear();
    m_rows.squeeze();
    endResetModel();
}

QStringList RecordTable::listRow(int r) const {
    if (r == 0)
        return {m_header[0], m_header[1], m_header[2]};
    const Row& row = m_rows[r - 1];
    return {row[0], row[1], row[2]};
}

QString RecordTable::cell(int dataRow, int column) const {
    if (dataRow < 0 || dataRow >= m_rows.size())
        return {};
    return m_rows[dataRow][size_t(column)];
}

} // namespace lumetra
