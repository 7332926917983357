#include "core/Localization.h"
#include "tests/support/TempProgramFolder.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <set>
#include <stdexcept>

using testing_support::ReadBytes;
using testing_support::WriteBytes;

namespace
{

struct Leaf {
    QString section;
    QString key;
    QString text;
};

// The elements that hold no elements, in document order, with the path above them joined by "\".
std::vector<Leaf> LeavesOf(const QString& path)
{
    std::vector<Leaf> leaves;
    pugi::xml_document document;
    if (!document.load_file(QFile::encodeName(path).constData(), pugi::parse_default | pugi::parse_ws_pcdata))
        return leaves;
    struct Walker : pugi::xml_tree_walker {
        std::vector<Leaf>* out;
        bool for_each(pugi::xml_node& node) override
        {
            if (node.type() != pugi::node_element
                || node.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; }))
                return true;
            QStringList above;
            for (pugi::xml_node p = node.parent(); p.parent().parent(); p = p.parent())
                above.prepend(QString::fromUtf8(p.name()));
            out->push_back({ above.join('\\'), QString::fromUtf8(node.name()), QString::fromUtf8(node.text().get()) });
            return true;
        }
    } walker;
    walker.out = &leaves;
    document.document_element().traverse(walker);
    return leaves;
}

class LocalizationTest : public ::testing::Test
{
protected:
    void TearDown() override { ReleaseSharedObjectAtExit(); }

    QString LangFile(const QString& name) const { return folder.FilePath("lang/" + name); }
    void WriteLanguage(const QString& name, const QByteArray& bytes)
    {
        QDir().mkpath(folder.FilePath("lang"));
        ASSERT_TRUE(WriteBytes(LangFile(name), bytes));
    }

    testing_support::TempProgramFolder folder;
};

TEST(LanguageTableTest, HoldsEveryTextOnceGroupedBySectionInIdRanges)
{
    const auto table = BuiltInLanguageTable();
    ASSERT_EQ(table.size(), 113u);
    std::set<int> ids;
    for (const LanguageRow& row : table) {
        EXPECT_TRUE(ids.insert(row.id).second) << row.id;
        const QString section = row.section;
        const int hundred = row.id / 100;
        if (row.id == 622 || row.id == 625)
            EXPECT_EQ(section, "Properties\\General");
        else if (hundred == 6)
            EXPECT_EQ(section, "Properties\\Rec");
        else if (row.id == 400)
            EXPECT_EQ(section, "Properties");
        else {
            const char* expected[] = { "Radio", "MainWindow", "StationDlg", "Message", "Properties\\General",
                "Properties\\Advanced", "", "Favorites", row.id >= 850 ? "PictureArt" : "EQUALIZER" };
            EXPECT_EQ(section, expected[hundred]) << row.id;
        }
    }
    EXPECT_EQ(ids.count(11), 0u);
    EXPECT_EQ(ids.count(305), 0u);
    EXPECT_EQ(*ids.rbegin(), 852);
    EXPECT_EQ(QString(table[15].key), "Forward") << "loading order is the table's, not the ids'";
    EXPECT_EQ(QString(table.back().english), "Disable");
}

TEST(LanguageTableTest, TextsAreFilledWithoutPrintf)
{
    EXPECT_EQ(FormatLangText("Buffer: %d%%", { "40" }), "Buffer: 40%");
    EXPECT_EQ(FormatLangText("There is new version %s available!", { "2.1" }), "There is new version 2.1 available!");
    // A broken language file cannot make the program read arguments it was not given.
    EXPECT_EQ(FormatLangText("%s %s %n %x", { "a" }), "a %s %n %x");
}

TEST_F(LocalizationTest, MissingFileIsCreatedWithEveryKeyInTableOrder)
{
    EXPECT_EQ(GetLangString(101), "Play");
    EXPECT_EQ(GetLanguageFileName(), "English.lng");
    const std::vector<Leaf> leaves = LeavesOf(LangFile("English.lng"));
    const auto table = BuiltInLanguageTable();
    ASSERT_EQ(leaves.size(), table.size());
    for (size_t i = 0; i < leaves.size(); ++i) {
        EXPECT_EQ(leaves[i].section, table[i].section);
        EXPECT_EQ(leaves[i].key, table[i].key);
        EXPECT_EQ(leaves[i].text, table[i].english);
    }
    EXPECT_EQ(GetLangString(618), " auto ");
    EXPECT_EQ(GetLangString(210), "Are you really sure you want to delete the station \"%s\"?");
}

TEST_F(LocalizationTest, FileWithOneKeyKeepsItAndGainsTheOthersInTableOrder)
{
    WriteLanguage("French.lng",
        "<?xml version=\"1.0\"?>\n<XMLConfigSettings>\n  <MainWindow>\n"
        "    <Play>Lecture</Play>\n  </MainWindow>\n</XMLConfigSettings>\n");
    LoadLanguage("French.lng");
    EXPECT_EQ(GetLangString(101), "Lecture");
    EXPECT_EQ(GetLangString(100), "Exit");
    EXPECT_EQ(GetLangString(1), "Playing");

    const std::vector<Leaf> leaves = LeavesOf(LangFile("French.lng"));
    ASSERT_EQ(leaves.size(), 113u);
    EXPECT_EQ(leaves[0].key, "Play");
    EXPECT_EQ(leaves[0].text, "Lecture");
    // Every other key follows in table order within its section; sections appear in order of first use.
    std::vector<std::pair<QString, QString>> expected;
    for (const LanguageRow& row : BuiltInLanguageTable())
        if (QString(row.section) == "MainWindow" && QString(row.key) != "Play")
            expected.emplace_back(row.section, row.key);
    for (const LanguageRow& row : BuiltInLanguageTable())
        if (QString(row.section) != "MainWindow")
            expected.emplace_back(row.section, row.key);
    for (size_t i = 1; i < leaves.size(); ++i) {
        EXPECT_EQ(leaves[i].section, expected[i - 1].first);
        EXPECT_EQ(leaves[i].key, expected[i - 1].second);
    }
    EXPECT_TRUE(ReadBytes(LangFile("French.lng"))
                    .startsWith("<?xml version=\"1.0\"?>\n<XMLConfigSettings>\n  <MainWindow>\n"
                                "    <Play>Lecture</Play>\n  <Exit>Exit</Exit>"));
}

TEST_F(LocalizationTest, EmptyTextsUndefinedIdsAndIdsBeyondTheTable)
{
    WriteLanguage("English.lng", "<r><MainWindow><Play></Play></MainWindow></r>");
    EXPECT_EQ(GetLangString(101), "") << "a key present with empty text is not replaced by English";
    EXPECT_EQ(GetLangString(11), "");
    EXPECT_EQ(GetLangString(852), "Disable");
    EXPECT_EQ(GetLangString(853), "???");
    EXPECT_EQ(GetLangString(100000), "???");
    EXPECT_THROW(GetLangString(-1), std::invalid_argument);
}

TEST_F(LocalizationTest, MalformedFileGivesEnglishAndStaysUnchanged)
{
    const QByteArray malformed = "<r><MainWindow><Play>Lecture</MainWindow>";
    WriteLanguage("Broken.lng", malformed);
    ReloadLanguage("Broken.lng");
    EXPECT_EQ(GetLangString(101), "Play");
    EXPECT_EQ(GetLangString(852), "Disable");
    EXPECT_EQ(ReadBytes(LangFile("Broken.lng")), malformed);
    // Read and logged once for the whole table, not once for each of its rows.
    const QStringList entries = folder.LogEntries();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0], "LoadXML Malformed XML Error");
    EXPECT_EQ(entries[2], LangFile("Broken.lng"));
}

TEST_F(LocalizationTest, LanguageMenuListsTheFilesAndSwitchesBetweenThem)
{
    WriteLanguage("Pt.Br.lng", "<r><MainWindow><Play>Tocar</Play></MainWindow></r>");
    WriteLanguage("English.lng", "<r/>");
    WriteLanguage("Deutsch.lng", "<r><MainWindow><Play>Abspielen</Play></MainWindow></r>");
    WriteLanguage("notes.txt", "not a language");
    QDir().mkpath(LangFile("Folder.lng"));

    ReloadLanguage("English.lng");
    QList<MenuEntry> menu = BuildLanguageMenu(2024);
    ASSERT_EQ(menu.size(), 3);
    EXPECT_EQ(menu[0].text, "Deutsch");
    EXPECT_EQ(menu[1].text, "English");
    EXPECT_EQ(menu[2].text, "Pt");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(menu[i].commandId, 2024u + i);
        EXPECT_EQ(menu[i].checked, i == 1);
    }

    SelectLanguageByMenuId(2026);
    EXPECT_EQ(GetLanguageFileName(), "Pt.Br.lng");
    EXPECT_EQ(GetLangString(101), "Tocar");

    SelectLanguageByMenuId(2024); // ids belong to the last menu built, which went with the reload
    EXPECT_EQ(GetLanguageFileName(), "Pt.Br.lng");
    menu = BuildLanguageMenu(2024);
    SelectLanguageByMenuId(2024);
    EXPECT_EQ(GetLangString(101), "Abspielen");

    ReloadLanguage("english.lng"); // another file on this file system; it is created
    menu = BuildLanguageMenu(2024);
    ASSERT_EQ(menu.size(), 4);
    for (const MenuEntry& entry : menu)
        EXPECT_EQ(entry.checked, entry.text == "english") << "the active name is compared exactly";
}

TEST_F(LocalizationTest, EmptyLanguageFolderGivesAnEmptyMenu)
{
    QDir().mkpath(folder.FilePath("lang"));
    ReloadLanguage("English.lng");
    QFile::remove(LangFile("English.lng"));
    EXPECT_TRUE(BuildLanguageMenu(2024).isEmpty());
}

} // namespace
