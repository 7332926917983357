#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <vector>

// The fixed part of a version resource (52 bytes).
struct VS_FIXEDFILEINFO {
    uint32_t dwSignature;
    uint32_t dwStrucVersion;
    uint32_t dwFileVersionMS;
    uint32_t dwFileVersionLS;
    uint32_t dwProductVersionMS;
    uint32_t dwProductVersionLS;
    uint32_t dwFileFlagsMask;
    uint32_t dwFileFlags;
    uint32_t dwFileOS;
    uint32_t dwFileType;
    uint32_t dwFileSubtype;
    uint32_t dwFileDateMS;
    uint32_t dwFileDateLS;
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52);

// A version resource: named blocks ("\", "\VarFileInfo\Translation", "\StringFileInfo\040904B0\ProductName")
// holding raw bytes. Strings are stored as their text.
struct VersionResource {
    std::map<QString, std::vector<uint8_t>> blocks;
    std::map<QString, QString> strings;

    bool Query(const QString& block, std::vector<uint8_t>& value) const;
    bool QueryString(const QString& block, QString& value) const;
};

// The program's own version resource, made from the build's product name and version
// (one translation: language 0, code page 1200).
const VersionResource& ProgramVersionResource();

// The agent string of the program's HTTP requests: its product name and product version, joined by a blank.
QByteArray ProgramAgentString();

// The user's language as a 16-bit language id (primary language in the low 10 bits).
uint16_t GetUserDefaultLangID();

// Reads the version information of an executable file: the fixed record and twelve named strings of
// the string table that best suits the user's language.
class CFileVersionInfo
{
public:
    CFileVersionInfo();
    virtual ~CFileVersionInfo();

    virtual void Reset();
    // Reads the version resource of the file; true when one was read. On this platform only the
    // program's own file carries one.
    bool Create(const QString& filePath);
    // The null module names the program itself.
    bool CreateFromModule(const void* module = nullptr);
    // Reads a given resource as if the user's language were userLanguage.
    bool CreateFromResource(const VersionResource& resource, uint16_t userLanguage);

    QString GetProductName() const { return m_productName; }
    QString GetProductVersion() const { return m_productVersion; }
    const VS_FIXEDFILEINFO& GetFixedInfo() const { return m_fixedInfo; }
    // Every string in member order, for callers that show them all.
    std::vector<QString> GetStrings() const;

    // Finds the entry for a language in a translation table (language in the low 16 bits of each
    // entry, code page in the high 16); with matchLowByte, an entry agreeing in the low 8 bits does too.
    static bool FindTranslation(
        const uint32_t* table, unsigned tableBytes, uint16_t languageId, uint32_t& entry, bool matchLowByte);

private:
    VS_FIXEDFILEINFO m_fixedInfo;
    QString m_companyName;
    QString m_fileDescription;
    QString m_fileVersion;
    QString m_internalName;
    QString m_legalCopyright;
    QString m_originalFileName;
    QString m_productName;
    QString m_productVersion;
    QString m_comments;
    QString m_legalTrademarks;
    QString m_privateBuild;
    QString m_specialBuild;
};
