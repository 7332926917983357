#pragma once

#include "core/MenuEntry.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <span>

// One text of the user interface: its id, where it stands in a language file (section and key) and
// its built-in English text.
struct LanguageRow {
    int id;
    const char* section;
    const char* key;
    const char* english;
};

// The built-in table in loading order, which is also the order in which missing keys are added to a
// language file.
std::span<const LanguageRow> BuiltInLanguageTable();

// The process-wide table of user-interface texts, filled from the active language file in the "lang"
// folder of the program folder, with the English text for every key the file lacks (the file gets
// those keys added). Reloads replace the whole instance and happen on the UI thread only, while no
// other thread reads texts.
class CLocalization
{
public:
    CLocalization();

    // Reads every row of the built-in table from the language file, creating missing keys.
    void LoadStrings();

    QString m_languageFolder; // program folder + "lang/"
    QString m_fileName; // active file inside the folder, e.g. "English.lng"
    QStringList m_texts; // indexed by id; ids outside the table hold ""
    QString m_fallback; // "???", for ids beyond the table
    QStringList m_menuFiles; // file of each entry of the last language menu
    QList<unsigned> m_menuIds; // command id of each entry, parallel to m_menuFiles
};

// Creates the instance when there is none and loads the file.
void LoadLanguage(const QString& fileName);
// The text of an id ("???" beyond the table, "" for an id the table does not define); loads
// "English.lng" first when nothing is loaded. A negative id throws std::invalid_argument. The
// reference stays valid until the next reload.
const QString& GetLangString(int id);
// A text of the language table with its "%d" and "%s" places filled in order and "%%" made "%". The
// table comes from a file, so its texts are never used as printf formats.
QString FormatLangText(const QString& format, const QStringList& values);
const QString& GetLanguageFileName();
// Drops the instance and loads the file afresh.
void ReloadLanguage(const QString& fileName);
// One entry per "*.lng" file of the language folder, sorted by name, ids counting up from
// firstCommandId; the text is the name up to its first "."; the active file is checked.
QList<MenuEntry> BuildLanguageMenu(unsigned firstCommandId);
// Switches to the file of an entry of the last menu built; an id that is not in it changes nothing.
void SelectLanguageByMenuId(unsigned commandId);
// Drops the instance at program exit.
void ReleaseSharedObjectAtExit();
