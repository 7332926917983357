#include "ui/controls/FilterBox.h"

#include "core/XMLSettings.h"

#include "tests/support/TestPaths.h"
#include "tests/ui/support/SkinTestSupport.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace
{

class FilterBoxTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { skin_test::EnsureApplication(); }

    void SetUp() override
    {
        box.SetTarget([this](const QString& text) { searches << text; });
        searches.clear();
    }

    // Types text into the edit field key by key, then leaves the box.
    void TypeAndLeave(const QString& text)
    {
        box.lineEdit()->clear();
        for (QChar c : text) {
            QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(box.lineEdit(), &key);
        }
        QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(&box, &leave);
    }

    QString SettingsPath() const { return dir.filePath("Kavrilune.xml"); }

    CFilterBox box;
    QStringList searches;
    QTemporaryDir dir;
};

TEST_F(FilterBoxTest, EveryKeystrokeReachesTheListAndLeavingKeepsTheSearch)
{
    TypeAndLeave("rock");
    EXPECT_EQ(searches, (QStringList { "r", "ro", "roc", "rock", "rock" }));
    EXPECT_EQ(box.History(), QStringList { "rock" });

    TypeAndLeave("ROCK");
    EXPECT_EQ(box.History(), QStringList { "rock" }) << "one entry whatever the letter case";
    EXPECT_EQ(box.currentText(), "rock") << "the stored letters are shown";
    EXPECT_EQ(searches.last(), "rock");

    TypeAndLeave("  jazz  ");
    EXPECT_EQ(box.History(), (QStringList { "jazz", "rock" }));
    EXPECT_EQ(box.currentText(), "  jazz  ") << "adding to the history leaves the edit text alone";
    TypeAndLeave("   ");
    EXPECT_EQ(box.History().size(), 2);

    // Opening the drop-down is not leaving the box.
    TypeAndLeave("blues");
    QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
    box.lineEdit()->setText("pop");
    QApplication::sendEvent(&box, &popup);
    EXPECT_EQ(box.History(), (QStringList { "blues", "jazz", "rock" }));
}

TEST_F(FilterBoxTest, TheHistoryKeepsTheNewest20)
{
    for (int i = 0; i < 21; ++i)
        box.AddToHistory(QStringLiteral("search %1").arg(i));
    ASSERT_EQ(box.count(), CFilterBox::kHistorySize);
    EXPECT_EQ(box.itemText(0), "search 20");
    EXPECT_EQ(box.itemText(19), "search 1");

    box.AddToHistory("SEARCH 5");
    EXPECT_EQ(box.itemText(0), "search 5");
    EXPECT_EQ(box.count(), CFilterBox::kHistorySize);

    // Choosing an entry moves it to the top and searches for it.
    emit box.activated(3);
    EXPECT_EQ(box.itemText(0), "search 18");
    EXPECT_EQ(searches.last(), "search 18");
}

TEST_F(FilterBoxTest, HistoryIsSavedAndLoadedWithoutGapsOrDuplicates)
{
    box.AddToHistory("rock");
    box.AddToHistory("jazz");
    box.setEditText("current ");
    {
        CXMLSettings settings(SettingsPath());
        box.SaveHistory(settings);
    }
    const QByteArray saved = testing_support::ReadBytes(SettingsPath());
    EXPECT_TRUE(
        saved.contains("<Filter>current </Filter><Filter_0>jazz</Filter_0><Filter_1>rock</Filter_1><Filter_2/>"))
        << saved.constData();

    {
        CXMLSettings settings(SettingsPath());
        settings.SetString("General", "Filter_1", "");
        settings.SetString("General", "Filter_2", " blues ");
        settings.SetString("General", "Filter_3", "JAZZ");
        settings.SetString("General", "Filter_7", "pop");
    }
    CFilterBox loaded;
    loaded.SetTarget([this](const QString& text) { searches << "loaded:" + text; });
    CXMLSettings settings(SettingsPath());
    loaded.LoadHistory(settings);
    EXPECT_EQ(loaded.History(), (QStringList { "jazz", "blues", "pop" }));
    EXPECT_EQ(loaded.currentText(), "current ");
    EXPECT_EQ(searches.last(), "loaded:current ");
}

TEST_F(FilterBoxTest, WheelAndClearingLeaveTheSearchAlone)
{
    box.AddToHistory("rock");
    box.AddToHistory("jazz");
    box.setEditText("jazz");
    box.setCurrentIndex(0);
    QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
        Qt::NoScrollPhase, false);
    QApplication::sendEvent(&box, &wheel);
    EXPECT_EQ(box.currentIndex(), 0);
    EXPECT_EQ(box.currentText(), "jazz");

    searches.clear();
    box.ClearHistory();
    EXPECT_EQ(box.count(), 0);
    EXPECT_EQ(box.currentText(), "jazz");
    EXPECT_TRUE(searches.isEmpty()) << "the list's filter is not touched";

    // Enter does not put the text into the list by itself, and nothing is completed inline.
    box.lineEdit()->setText("ro");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(box.lineEdit(), &enter);
    EXPECT_EQ(box.count(), 0);
    EXPECT_EQ(box.completer(), nullptr);
}

} // namespace
