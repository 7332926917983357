#include "stations/StationsListModel.h"

#include "stations/StationCatalogue.h"

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
    if ((role != Qt::DisplayRole && role != kPlayingRole) || !index.isValid() || index.column() >= kColumns)
        return QVariant();
    if (role == kPlayingRole && m_playingSource.isEmpty())
        return false;
    CStationCatalogue::Lock lock = m_catalogue.TryLock();
    if (!lock.owns_lock())
        return QVariant();
    const int station = m_catalogue.VisibleIndex(index.row());
    if (role == kPlayingRole)
        return station >= 0
            && m_catalogue.Stations().FindSource(size_t(station), m_playingSource, Qt::CaseSensitive) >= 0;
    if (station < 0)
        return QString();
    return m_catalogue.Stations().Field(size_t(station), ColumnField(index.column()));
}

void CStationsListModel::SetPlayingSource(const QString& url)
{
    if (url == m_playingSource)
        return;
    m_playingSource = url;
    if (m_rows > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, kColumns - 1), { kPlayingRole });
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
