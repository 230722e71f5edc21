#include "recordtable.h"

namespace lumetra {

RecordTable::RecordTable(int columns, QObject* parent)
    : QAbstractTableModel(parent), m_columns(columns) {
    for (int c = 0; c < columns; ++c)
        m_header << QString();
}

int RecordTable::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_cells.size() / m_columns);
}

int RecordTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_columns;
}

QVariant RecordTable::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole)
        return m_cells[qsizetype(index.row()) * m_columns + index.column()];
    if (role == Qt::TextAlignmentRole && m_centred)
        return int(Qt::AlignCenter);
    return {};
}

QVariant RecordTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section >= 0 && section < m_columns) {
        if (role == Qt::DisplayRole)
            return m_header[section];
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
        if (role == Qt::ToolTipRole && !m_headerTips.value(section).isEmpty())
            return m_headerTips.value(section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

void RecordTable::setHeaderTip(int column, const QString& tip) {
    m_headerTips[column] = tip;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void RecordTable::setHeader(int column, const QString& text) {
    m_header[column] = text;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void RecordTable::appendCells(const QStringList& fields) {
    // Fields beyond the last column are ignored, missing ones are empty.
    for (int c = 0; c < m_columns; ++c)
        m_cells.append(c < fields.size() ? fields[c] : QString());
}

void RecordTable::appendRow(const QStringList& fields) {
    const int at = rowCount();
    beginInsertRows({}, at, at);
    appendCells(fields);
    endInsertRows();
}

void RecordTable::appendRows(const QVector<QStringList>& rows) {
    if (rows.isEmpty())
        return;
    const int at = rowCount();
    beginInsertRows({}, at, at + int(rows.size()) - 1);
    m_cells.reserve(m_cells.size() + rows.size() * m_columns);
    for (const QStringList& r : rows)
        appendCells(r);
    endInsertRows();
}

void RecordTable::appendRowCells(const QVector<QString>& cells) {
    const int rows = int(cells.size() / m_columns);
    if (rows == 0)
        return;
    const int at = rowCount();
    beginInsertRows({}, at, at + rows - 1);
    m_cells.append(cells.constBegin(), cells.constBegin() + qsizetype(rows) * m_columns);
    endInsertRows();
}

void RecordTable::clear() {
    beginResetModel();
    m_cells.clear();
    m_cells.squeeze();
    m_exactTimes.clear();
    endResetModel();
}

QStringList RecordTable::listRow(int r) const {
    if (r == 0)
        return m_header;
    return QStringList(m_cells.begin() + qsizetype(r - 1) * m_columns,
                       m_cells.begin() + qsizetype(r) * m_columns);
}

QString RecordTable::cell(int dataRow, int column) const {
    if (dataRow < 0 || dataRow >= rowCount() || column < 0 || column >= m_columns)
        return {};
    return m_cells[qsizetype(dataRow) * m_columns + column];
}

} // namespace lumetra
