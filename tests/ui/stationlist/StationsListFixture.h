#pragma once

#include "stations/StationsListWorker.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"
#include "tests/ui/support/UiTestSupport.h"
#include "ui/stationlist/StationsListCtrl.h"

#include <QDir>
#include <QPointer>
#include <gtest/gtest.h>

// Stands in for the main window: answers the list's done message with Refresh, as the window does.
class ListOwner : public testing_support::MessageRecorder
{
public:
    bool event(QEvent* event) override
    {
        if (WindowMessage* message = AsWindowMessage(event); message && message->message() == WM_STATIONS_LIST_DONE) {
            ++refreshes;
            if (list)
                list->Refresh();
        }
        return MessageRecorder::event(event);
    }

    QPointer<CStationsListCtrl> list;
    int refreshes = 0;
};

// A list on stations files in a temporary program folder, shown at 320 x 200 (small enough that Qt draws it without
// helper threads).
class StationsListFixture : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { ui_testing::EnsureApplication(); }

    QString DatabasePattern() const { return folder.FilePath("Stations/stations*.kvd"); }
    QString OwnPath() const { return folder.FilePath("mystations.kvd"); }

    void WriteFiles(const QByteArray& database, const QByteArray& own)
    {
        QDir().mkpath(folder.FilePath("Stations"));
        testing_support::WriteBytes(folder.FilePath("Stations/stations.kvd"), database);
        testing_support::WriteBytes(OwnPath(), own);
    }
    void AppendOwn(const QByteArray& lines)
    {
        testing_support::WriteBytes(OwnPath(), testing_support::ReadBytes(OwnPath()) + lines);
    }
    static void ReplaceInFile(const QString& path, const QByteArray& from, const QByteArray& to)
    {
        testing_support::WriteBytes(path, testing_support::ReadBytes(path).replace(from, to));
    }

    void Create()
    {
        list = std::make_unique<CStationsListCtrl>(&owner);
        owner.list = list.get();
        list->Init(DatabasePattern(), OwnPath());
        list->resize(320, 200);
    }

    // Every pass asked for has run and its done message has been answered.
    bool Settled() const { return list->Worker().IsIdle() && owner.refreshes == list->Worker().PassCount(); }
    void Settle(int ms = 20000)
    {
        ASSERT_TRUE(testing_support::PumpUntil([this] { return Settled(); }, ms));
    }
    static void PumpFor(int ms) { testing_support::PumpFor(ms); }

    // The texts of one column, row by row.
    QStringList Column(int column) const
    {
        QStringList texts;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            texts.append(list->model()->index(row, column).data().toString());
        return texts;
    }
    int RowOf(const QString& title) const { return int(Column(0).indexOf(title)); }
    size_t CatalogueSize() const
    {
        CStationCatalogue::Lock lock = list->Catalogue().LockUnbounded();
        return list->Catalogue().Stations().Size();
    }

    testing_support::TempProgramFolder folder;
    ListOwner owner;
    std::unique_ptr<CStationsListCtrl> list;
};
