#include "core/Favorites.h"
#include "core/Localization.h"
#include "core/MessageBox.h"
#include "core/XMLSettings.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace
{

using Entries = std::vector<std::pair<QString, QString>>; // title, source

constexpr int32_t FAVORITES_FIRST_ID = 1326;
constexpr int32_t HISTORY_FIRST_ID = 1374;

class FavoritesTest : public ::testing::Test
{
protected:
    void TearDown() override { ReleaseSharedObjectAtExit(); }

    QString SettingsPath() const { return folder.FilePath("Kavrilune.xml"); }

    void WriteSlots(const QString& section, const Entries& stored)
    {
        CXMLSettings settings(SettingsPath());
        for (size_t i = 0; i < stored.size(); ++i) {
            settings.SetString(section, QString("Title_%1").arg(i + 1), stored[i].first);
            settings.SetString(section, QString("Source_%1").arg(i + 1), stored[i].second);
        }
    }

    Entries ReadSlots(const QString& section)
    {
        Entries stored;
        CXMLSettings settings(SettingsPath());
        for (int i = 1; i <= CFavorites::MAX_ENTRIES; ++i) {
            const QString title = settings.GetString(section, QString("Title_%1").arg(i), "", false);
            if (!title.isEmpty())
                stored.emplace_back(title, settings.GetString(section, QString("Source_%1").arg(i), "", false));
        }
        return stored;
    }

    // Favourites: replacing allowed, a full list refuses. History: replacing allowed, dropping the oldest.
    std::unique_ptr<CFavorites> Open(const QString& section = "Favorites", bool history = false)
    {
        auto list = std::make_unique<CFavorites>();
        list->SetPolicy(true, history);
        list->SetStorage(SettingsPath(), section, history ? HISTORY_FIRST_ID : FAVORITES_FIRST_ID);
        list->WaitForThreads();
        return list;
    }

    static Entries Titles(CFavorites& list, int32_t firstId = FAVORITES_FIRST_ID)
    {
        Entries entries;
        for (int32_t id = firstId; id < firstId + CFavorites::MAX_ENTRIES; ++id) {
            QString title, source;
            list.GetByCommandId(id, title, source);
            if (title.isEmpty())
                break;
            entries.emplace_back(title, source);
        }
        return entries;
    }

    static Entries Numbered(const char* prefix, int count)
    {
        Entries entries;
        for (int i = 0; i < count; ++i)
            entries.emplace_back(
                QString("%1%2").arg(prefix).arg(i), QString("http://127.0.0.1/%1%2").arg(prefix).arg(i));
        return entries;
    }

    testing_support::TempProgramFolder folder;
    testing_support::ScriptedMessageBoxes messageBoxes;
    QStringList& boxes = messageBoxes.texts;
};

TEST_F(FavoritesTest, LoadsSlotsFrontFirstSkippingHalfEmptyOnesAndKeepingTheLowerDuplicate)
{
    WriteSlots("Favorites",
        { { "A", "a" }, { "B", "b" }, { "C", "c" }, { "NoSource", "" }, { "", "no-title" }, { "A", "a-later" },
            { "D", "d" } });
    auto list = Open();
    EXPECT_EQ(Titles(*list), (Entries { { "A", "a" }, { "B", "b" }, { "C", "c" }, { "D", "d" } }));

    list->SetCurrent("B");
    const QList<MenuEntry> menu = list->BuildMenu();
    ASSERT_EQ(menu.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(menu[i].commandId, unsigned(FAVORITES_FIRST_ID + i));
        EXPECT_EQ(menu[i].checked, i == 1);
        EXPECT_TRUE(menu[i].enabled);
    }
    EXPECT_EQ(menu[2].text, "C");
}

TEST_F(FavoritesTest, EmptyListMenuShowsADisabledPlaceholder)
{
    auto list = Open();
    const QList<MenuEntry> menu = list->BuildMenu();
    ASSERT_EQ(menu.size(), 1);
    EXPECT_EQ(menu[0].text, "No stations selected yet");
    EXPECT_EQ(menu[0].commandId, 0u);
    EXPECT_FALSE(menu[0].enabled);
    EXPECT_FALSE(menu[0].grayed);
    EXPECT_TRUE(list->UpdateJumpList());
}

TEST_F(FavoritesTest, AddingMovesAnExistingTitleToTheFrontAndSavesEverySlot)
{
    WriteSlots("Favorites", { { "A", "a" }, { "B", "b" }, { "C", "c" } });
    auto list = Open();
    EXPECT_EQ(list->AddAndSave("B", "b2", 0), 1);
    EXPECT_EQ(Titles(*list), (Entries { { "B", "b2" }, { "A", "a" }, { "C", "c" } }));
    EXPECT_EQ(list->AddAndSave("", "x", 0), 0);
    EXPECT_EQ(list->AddAndSave("b", "lower", 0), 1) << "titles differing in case are different entries";
    EXPECT_EQ(ReadSlots("Favorites"), (Entries { { "b", "lower" }, { "B", "b2" }, { "A", "a" }, { "C", "c" } }));

    CXMLSettings settings(SettingsPath());
    EXPECT_EQ(settings.GetString("Favorites", "Title_5", "missing", false), "");
    EXPECT_EQ(settings.GetString("Favorites", "Source_30", "missing", false), "");

    CFavorites strict;
    strict.SetStorage(SettingsPath(), "Favorites", FAVORITES_FIRST_ID);
    EXPECT_EQ(strict.AddAndSave("A", "a3", 0), 0) << "replacing not allowed";
}

TEST_F(FavoritesTest, TextsTheFileCannotHoldAreMadeStorableSoEveryTitleKeepsItsSource)
{
    auto list = Open("History", true);
    EXPECT_EQ(list->AddAndSave(QString("Bad\x01Title"), "http://a.example/", 0), 1);
    EXPECT_EQ(list->AddAndSave("Good", QString("http://b.example/\x02x"), 0), 1);
    EXPECT_EQ(
        list->AddAndSave(QString("Line\r\nbreak") + QChar(0xFFFE), QString("http://c.example/") + QChar(0xD800), 0), 1);
    const Entries expected = { { "Line  break ", "http://c.example/ " }, { "Good", "http://b.example/ x" },
        { "Bad Title", "http://a.example/" } };
    EXPECT_EQ(Titles(*list, HISTORY_FIRST_ID), expected);
    EXPECT_EQ(ReadSlots("History"), expected);
    list.reset();
    EXPECT_EQ(Titles(*Open("History", true), HISTORY_FIRST_ID), expected);

    // The station playing is found under its storable title.
    list = Open("History", true);
    list->SetCurrent(QString("Bad\x01Title"));
    QString title, source;
    EXPECT_FALSE(list->GetNext(title, source)) << "the current entry is the last one";
    ASSERT_TRUE(list->GetPrevious(title, source));
    EXPECT_EQ(title, "Good");
}

TEST_F(FavoritesTest, FullFavouritesRefuseWhileAFullHistoryDropsItsOldest)
{
    WriteSlots("Favorites", Numbered("F", 30));
    WriteSlots("History", Numbered("H", 30));
    auto favorites = Open("Favorites");
    auto history = Open("History", true);

    EXPECT_EQ(favorites->AddAndSave("New", "n", 0), -1);
    EXPECT_EQ(Titles(*favorites), Numbered("F", 30));
    EXPECT_EQ(favorites->AddAndSave("F29", "moved", 0), 1) << "a title already there is moved, not refused";
    EXPECT_EQ(Titles(*favorites).front(), std::make_pair(QString("F29"), QString("moved")));

    EXPECT_EQ(history->AddAndSave("New", "n", 0), 1);
    Entries expected = Numbered("H", 29);
    expected.insert(expected.begin(), { "New", "n" });
    EXPECT_EQ(Titles(*history, HISTORY_FIRST_ID), expected);
    EXPECT_EQ(ReadSlots("History"), expected);
}

TEST_F(FavoritesTest, MovingUpSwapsWithThePreviousEntryAndKeepsTheFrontInPlace)
{
    WriteSlots("Favorites", { { "A", "a" }, { "B", "b" }, { "C", "c" } });
    auto list = Open();
    EXPECT_EQ(list->ReplaceAndSave("C", "c", 0), 1);
    EXPECT_EQ(Titles(*list), (Entries { { "A", "a" }, { "C", "c" }, { "B", "b" } }));
    EXPECT_EQ(list->ReplaceAndSave("A", "a2", 0), 1);
    EXPECT_EQ(list->ReplaceAndSave("Missing", "m", 0), 1);
    EXPECT_EQ(list->ReplaceAndSave("", "m", 0), 0);
    EXPECT_EQ(ReadSlots("Favorites"), (Entries { { "A", "a2" }, { "C", "c" }, { "B", "b" } }));
}

TEST_F(FavoritesTest, PreviousAndNextWalkWithoutWrappingAround)
{
    QString title, source;
    auto list = Open();
    EXPECT_FALSE(list->GetNext(title, source));
    EXPECT_FALSE(list->GetPrevious(title, source));

    WriteSlots("History", { { "A", "a" }, { "B", "b" }, { "C", "c" } });
    auto history = Open("History", true);
    EXPECT_TRUE(history->GetNext(title, source));
    EXPECT_EQ(title, "A");
    EXPECT_TRUE(history->GetPrevious(title, source));
    EXPECT_EQ(source, "a");

    history->SetCurrent("B");
    EXPECT_TRUE(history->GetNext(title, source));
    EXPECT_EQ(title, "C");
    EXPECT_TRUE(history->GetPrevious(title, source));
    EXPECT_EQ(title, "A");

    history->SetCurrent("C");
    EXPECT_FALSE(history->GetNext(title, source));
    EXPECT_TRUE(title.isEmpty() && source.isEmpty());
    history->SetCurrent("A");
    EXPECT_FALSE(history->GetPrevious(title, source));
}

TEST_F(FavoritesTest, DeletingRemovesTheCurrentEntryOrAsksForASelection)
{
    WriteSlots("Favorites", { { "A", "a" }, { "B", "b" } });
    auto list = Open();
    list->DeleteCurrent();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0], "Please select a radio station first.");
    EXPECT_EQ(ReadSlots("Favorites"), (Entries { { "A", "a" }, { "B", "b" } }));

    list->SetCurrent("B");
    list->DeleteCurrent();
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_EQ(ReadSlots("Favorites"), (Entries { { "A", "a" } }));
}

TEST_F(FavoritesTest, ChangesReadTheFileFirstSoNoOtherChangeIsLost)
{
    auto first = Open();
    auto second = Open();
    EXPECT_EQ(first->AddAndSave("One", "1", 0), 1);
    EXPECT_EQ(second->AddAndSave("Two", "2", 0), 1);
    first->SetCurrent("Two");
    first->DeleteCurrent();
    EXPECT_EQ(second->ReplaceAndSave("Three", "3", 0), 1);
    EXPECT_EQ(ReadSlots("Favorites"), (Entries { { "One", "1" } }));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(FavoritesTest, TwoListsOnOneFileChangingFromThreadsLoseNothing)
{
    auto favoritesA = Open("Favorites");
    auto favoritesB = Open("Favorites");
    auto history = Open("History", true);
    const Entries fromA = Numbered("A", 15);
    const Entries fromB = Numbered("B", 15);
    const Entries played = Numbered("P", 20);

    std::thread threadA([&] {
        for (const auto& [title, source] : fromA) {
            favoritesA->AddAndSave(title, source, 0);
            favoritesA->BuildMenu();
        }
    });
    std::thread threadB([&] {
        for (const auto& [title, source] : fromB)
            favoritesB->AddAndSave(title, source, 0);
    });
    for (const auto& [title, source] : played)
        history->AddAsync(title, source, 0);
    threadA.join();
    threadB.join();
    history.reset(); // waits for its add threads

    auto check = Open("Favorites");
    Entries stored = Titles(*check);
    EXPECT_EQ(stored.size(), 30u);
    for (const auto& entry : fromA)
        EXPECT_NE(std::find(stored.begin(), stored.end(), entry), stored.end()) << entry.first.toStdString();
    for (const auto& entry : fromB)
        EXPECT_NE(std::find(stored.begin(), stored.end(), entry), stored.end()) << entry.first.toStdString();
    const Entries historySlots = ReadSlots("History");
    EXPECT_EQ(historySlots.size(), played.size());
}

TEST_F(FavoritesTest, DestroyingTheListLetsPendingAddsFinishAndSave)
{
    auto history = Open("History", true);
    for (const auto& [title, source] : Numbered("P", 10))
        history->AddAsync(title, source, 0);
    history->BuildMenu();
    history.reset();
    EXPECT_EQ(ReadSlots("History").size(), 10u);
}

} // namespace
