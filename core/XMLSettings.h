#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace pugi
{
class xml_document;
class xml_node;
} // namespace pugi

// A rectangle by its edges; right and bottom lie just outside it.
struct RECT {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// Result codes of a time that cannot be read back.
enum : uint32_t {
    E_FAIL = 0x80004005,
    E_INVALIDARG = 0x80070057,
};

// Thrown by CXMLSettings::GetTime when the stored time is malformed or out of range.
class CSettingsTimeException : public std::runtime_error
{
public:
    explicit CSettingsTimeException(uint32_t resultCode);
    uint32_t GetResultCode() const { return m_resultCode; }

private:
    uint32_t m_resultCode;
};

// The persistent settings of one XML file. A value lives at a path of nested elements below the root:
// the section, a backslash and the key ("Properties\General" + "Title" is <Properties><General><Title>).
// The file is parsed at the first access and written back by the destructor, only when something was
// written or the file did not exist yet. A file that holds nothing but white space counts as missing. An object is used
// by one thread at a time; two objects on one file do not see each other's changes and the last one destroyed writes
// its whole document.
class CXMLSettings
{
public:
    explicit CXMLSettings(const QString& path);
    ~CXMLSettings();

    CXMLSettings(const CXMLSettings&) = delete;
    CXMLSettings& operator=(const CXMLSettings&) = delete;

    // The stored text, or the default when the element does not exist; with create set a missing
    // element is written with the default.
    QString GetString(const QString& section, const QString& key, const QString& defaultValue, bool create);
    // 0 stored; -1 the document does not open; -2 the element is neither found nor created (a name on
    // the path is not a valid XML name); -3 the text holds characters XML cannot carry.
    int SetString(const QString& section, const QString& key, const QString& value);

    // Decimal text read like wcstol: "12abc" is 12, "abc" and "" are 0.
    int32_t GetInt(const QString& section, const QString& key, int32_t defaultValue, bool create);
    int SetInt(const QString& section, const QString& key, int32_t value);
    // An integer in units of a 96-pixels-per-inch screen, scaled to the screen's vertical density.
    int32_t GetIntScaled(const QString& section, const QString& key, int32_t defaultValue, bool create);
    // Sub-keys "x", "y", "width" and "height" of the section (missing ones are written with the defaults
    // as given), returned as edges scaled to the screen.
    RECT GetRect(
        const QString& section, int32_t defaultX, int32_t defaultY, int32_t defaultWidth, int32_t defaultHeight);

    // "alpha,red,green,blue"; a negative alpha (a missing colour is written as "-1") gives the default.
    // GetColor returns 0x00BBGGRR, GetColorArgb 0xAARRGGBB.
    uint32_t GetColor(const QString& section, const QString& key, uint32_t defaultColor);
    uint32_t GetColorArgb(const QString& section, const QString& key, uint32_t defaultColor);

    // Local time as "%Y/%m/%d/%H/%M". A missing value gives the default; a malformed or out-of-range one
    // throws CSettingsTimeException.
    std::time_t GetTime(const QString& section, const QString& key, std::time_t defaultTime);
    bool SetTime(const QString& section, const QString& key, std::time_t time);

    // The file's folder with its trailing "/", or "" when the path names no folder.
    QString GetFolder() const;
    // Switches to another file; the held document is dropped without saving.
    void SetFileName(const QString& path);
    // Drops the held document and everything written to it; the file stays as it is.
    void DiscardChanges();

    // The element names of a section and key: blanks and backslashes trimmed from the ends of each,
    // inner blanks turned into "_", split at (runs of) backslashes.
    static QStringList SplitPath(const QString& section, const QString& key);
    // True for an XML 1.0 element name.
    static bool IsValidElementName(const QString& name);
    // The text with every character a value cannot keep (control characters, tab and line breaks
    // included, and code points XML cannot carry) replaced by a blank, so that SetString takes it and
    // reading it back gives the same text.
    static QString StorableText(const QString& text);

private:
    bool Open();
    void Close();
    bool Save();
    pugi::xml_node FindNode(pugi::xml_node start, const QStringList& names, bool create);
    bool LoadDocument(int& step);
    bool LoadTemplate();
    int32_t GetIntUnguarded(const QString& section, const QString& key, int32_t defaultValue, bool create);
    QString GetColorText(const QString& section, const QString& key);

    std::unique_ptr<pugi::xml_document> m_document; // null while closed
    QString m_path;
    bool m_dirty = false; // set by the template and by every write; never cleared
    // A file that did not load is not read again (nor logged again) until the object switches files.
    bool m_openFailed = false;
    // The last load failed because the file is not one well-formed document (not because it could not
    // be read).
    bool m_malformed = false;

    friend QString SetAsideMalformedSettingsFile(const QString& path);
};

// Scales a rectangle given in 96-pixels-per-inch units to the screen: left and right horizontally, top
// and bottom vertically, each rounded to the nearest whole number.
void ScaleRectForDpi(RECT& rect);

// Where the screen's logical pixels per inch (horizontal, vertical) come from. The user interface
// installs one that asks the screen; without one the store assumes 96. The factors are measured once,
// at the first scaled value; installing a provider makes the next scaled value measure again.
using ScreenPixelsPerInchProvider = std::function<std::pair<int, int>()>;
void SetScreenPixelsPerInchProvider(ScreenPixelsPerInchProvider provider);

// The lock of one settings file for read-modify-write sequences, in this process and between processes:
// a recursive mutex for the threads of this process, and for the outermost holder also an exclusive
// flock on the lock file "<file>.lock" beside the file, for every other process of the program (a
// running instance and a start that hands its line over share the file). The lock file is opened
// without following a link and used only when it is a regular file of this user; when it cannot be
// had (a folder that cannot be written, a holder that does not let go within two seconds) the
// sequence goes on with the process's own lock only. A holder that outlasted the wait counts as stuck:
// later sequences only try the lock, without waiting, until one gets it, and the stuck holder is
// logged once.
class CSettingsFileMutex
{
public:
    explicit CSettingsFileMutex(const QString& lockPath);
    CSettingsFileMutex(const CSettingsFileMutex&) = delete;
    CSettingsFileMutex& operator=(const CSettingsFileMutex&) = delete;

    void lock();
    void unlock();

private:
    std::recursive_mutex m_mutex;
    QString m_lockPath;
    int m_depth = 0; // guarded by m_mutex
    int m_fd = -1; // the lock file while the outermost holder has it; guarded by m_mutex
    bool m_holderStuck = false; // another process kept the lock past the wait; guarded by m_mutex
};

// Serialises read-modify-write sequences of several objects on one file, inside this process and
// between processes. Hold it from before an object's first access until the object is destroyed, so
// that the object reads the latest file and its save is not overwritten by a document read before it.
CSettingsFileMutex& SettingsFileMutex(const QString& path);

// Moves a settings file that exists, holds more than white space and is not one well-formed document
// aside, to "<file>.broken" (or "<file>.broken-2" and so on when that name is taken), so that the
// program can start from the template and save again while the user keeps the old bytes. Returns the
// new path, or an empty text when the file was left where it is. Takes the file's lock.
QString SetAsideMalformedSettingsFile(const QString& path);
