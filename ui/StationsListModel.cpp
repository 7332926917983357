#include "ui/StationsListModel.h"

#include "ui/StationCatalogue.h"

CStationsListModel::CStationsListModel(CStationCatalogue& catalogue, QObject* parent)
    : QAbstractTableModel(parent)
    , m_catalogue(catalogue)
{
    for (int i = 0; i < kColumns; ++i)
        m_titles.append(QString());
}

int CStationsListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int CStationsListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant CStationsListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.column() >= kColumns)
        return QVariant();
    CStationCatalogue::Lock lock = m_catalogue.TryLock();
    if (!lock.owns_lock())
        return QVariant();
    const CStationItem* station = m_catalogue.VisibleStation(index.row());
    if (!station)
        return QString();
    return station->GetAt(ColumnField(index.column()));
}

QVariant CStationsListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumns)
        return m_titles.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void CStationsListModel::SetRowCount(int rows)
{
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

void CStationsListModel::SetColumnTitle(int column, const QString& title)
{
    if (column < 0 || column >= kColumns || m_titles.at(column) == title)
        return;
    m_titles[column] = title;
    emit headerDataChanged(Qt::Horizontal, column, column);
}
