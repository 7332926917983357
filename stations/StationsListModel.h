#pragma once

#include <QAbstractTableModel>
#include <QStringList>

class CStationCatalogue;

// The station list's rows: the catalogue's visible stations, four columns each (title, country, genre,
// language). The model keeps only the row count, changed by SetRowCount on the user-interface thread;
// texts are read from the catalogue on request, and a request that finds the catalogue busy gets none.
class CStationsListModel : public QAbstractTableModel
{
public:
    static constexpr int kColumns = 4;
    // Whether a row's station is the one playing (bool).
    static constexpr int kPlayingRole = Qt::UserRole + 1;

    CStationsListModel(CStationCatalogue& catalogue, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Resets the model to that many rows.
    void SetRowCount(int rows);
    void SetColumnTitle(int column, const QString& title);
    // The source being played; the rows of stations that have it are marked.
    void SetPlayingSource(const QString& url);
    const QString& PlayingSource() const { return m_playingSource; }

    // The field (station slot) each column shows; columns keep their fields when they are moved.
    static int ColumnField(int column) { return column; }

private:
    CStationCatalogue& m_catalogue;
    int m_rows = 0;
    QStringList m_titles;
    QString m_playingSource;
};
