#include "core/FileVersionInfo.h"

#include <BuildInfo.h>

#include <QFileInfo>
#include <QLocale>

#include <cstring>
#include <unistd.h>

namespace
{

const char* const kStringNames[] = {
    "CompanyName",
    "FileDescription",
    "FileVersion",
    "InternalName",
    "LegalCopyright",
    "OriginalFileName",
    "ProductName",
    "ProductVersion",
    "Comments",
    "LegalTrademarks",
    "PrivateBuild",
    "SpecialBuild",
};

QString ProgramPath()
{
    char path[2000];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? QString::fromLocal8Bit(path, n) : QString();
}

VersionResource MakeProgramResource()
{
    VersionResource resource;
    VS_FIXEDFILEINFO fixed {};
    fixed.dwSignature = 0xFEEF04BD;
    fixed.dwStrucVersion = 0x00010000;
    fixed.dwFileVersionMS = (KAVRILUNE_VERSION_MAJOR << 16) | KAVRILUNE_VERSION_MINOR;
    fixed.dwFileVersionLS = (KAVRILUNE_VERSION_PATCH << 16) | KAVRILUNE_VERSION_TWEAK;
    fixed.dwProductVersionMS = fixed.dwFileVersionMS;
    fixed.dwProductVersionLS = fixed.dwFileVersionLS;
    fixed.dwFileFlagsMask = 0x3F;
    fixed.dwFileType = 1; // an application
    std::vector<uint8_t>& root = resource.blocks[QStringLiteral("\\")];
    root.resize(sizeof fixed);
    std::memcpy(root.data(), &fixed, sizeof fixed);

    const uint32_t translation = 1200u << 16; // language 0, code page 1200
    std::vector<uint8_t>& table = resource.blocks[QStringLiteral("\\VarFileInfo\\Translation")];
    table.resize(sizeof translation);
    std::memcpy(table.data(), &translation, sizeof translation);

    const QString prefix = QStringLiteral("\\StringFileInfo\\000004B0\\");
    const QString version = QStringLiteral(KAVRILUNE_PRODUCT_VERSION);
    resource.strings[prefix + "CompanyName"] = QStringLiteral(KAVRILUNE_PRODUCT_NAME);
    resource.strings[prefix + "FileDescription"] = QStringLiteral(KAVRILUNE_DESCRIPTION);
    resource.strings[prefix + "FileVersion"] = version;
    resource.strings[prefix + "InternalName"] = QStringLiteral("kavrilune");
    resource.strings[prefix + "LegalCopyright"] = QStringLiteral("Copyright (C) 2026 The Kavrilune developers");
    resource.strings[prefix + "OriginalFileName"] = QStringLiteral("kavrilune");
    resource.strings[prefix + "ProductName"] = QStringLiteral(KAVRILUNE_PRODUCT_NAME);
    resource.strings[prefix + "ProductVersion"] = version;
    return resource;
}

} // namespace

bool VersionResource::Query(const QString& block, std::vector<uint8_t>& value) const
{
    auto it = blocks.find(block);
    if (it == blocks.end())
        return false;
    value = it->second;
    return true;
}

bool VersionResource::QueryString(const QString& block, QString& value) const
{
    auto it = strings.find(block);
    if (it == strings.end())
        return false;
    value = it->second;
    return true;
}

const VersionResource& ProgramVersionResource()
{
    static const VersionResource resource = MakeProgramResource();
    return resource;
}

QByteArray ProgramAgentString()
{
    CFileVersionInfo info;
    info.CreateFromModule(nullptr);
    return (info.GetProductName() + QLatin1Char(' ') + info.GetProductVersion()).toUtf8();
}

uint16_t GetUserDefaultLangID()
{
    // Primary language ids of the languages the program has been used in most; sub-language "default".
    static const struct {
        QLocale::Language language;
        uint16_t id;
    } kLanguages[] = {
        { QLocale::Arabic, 0x01 },
        { QLocale::Bulgarian, 0x02 },
        { QLocale::Catalan, 0x03 },
        { QLocale::Chinese, 0x04 },
        { QLocale::Czech, 0x05 },
        { QLocale::Danish, 0x06 },
        { QLocale::German, 0x07 },
        { QLocale::Greek, 0x08 },
        { QLocale::English, 0x09 },
        { QLocale::Spanish, 0x0A },
        { QLocale::Finnish, 0x0B },
        { QLocale::French, 0x0C },
        { QLocale::Hebrew, 0x0D },
        { QLocale::Hungarian, 0x0E },
        { QLocale::Italian, 0x10 },
        { QLocale::Japanese, 0x11 },
        { QLocale::Korean, 0x12 },
        { QLocale::Dutch, 0x13 },
        { QLocale::NorwegianBokmal, 0x14 },
        { QLocale::Polish, 0x15 },
        { QLocale::Portuguese, 0x16 },
        { QLocale::Romanian, 0x18 },
        { QLocale::Russian, 0x19 },
        { QLocale::Croatian, 0x1A },
        { QLocale::Slovak, 0x1B },
        { QLocale::Swedish, 0x1D },
        { QLocale::Turkish, 0x1F },
        { QLocale::Ukrainian, 0x22 },
    };
    const QLocale::Language language = QLocale::system().language();
    for (const auto& entry : kLanguages) {
        if (entry.language == language)
            return uint16_t(0x0400 | entry.id);
    }
    return 0x0409;
}

CFileVersionInfo::CFileVersionInfo()
{
    Reset();
}

CFileVersionInfo::~CFileVersionInfo() = default;

void CFileVersionInfo::Reset()
{
    std::memset(&m_fixedInfo, 0, sizeof m_fixedInfo);
    for (QString* text :
        { &m_companyName, &m_fileDescription, &m_fileVersion, &m_internalName, &m_legalCopyright, &m_originalFileName,
            &m_productName, &m_productVersion, &m_comments, &m_legalTrademarks, &m_privateBuild, &m_specialBuild })
        text->clear();
}

bool CFileVersionInfo::Create(const QString& filePath)
{
    Reset();
    const QString program = ProgramPath();
    if (program.isEmpty() || QFileInfo(filePath).canonicalFilePath() != QFileInfo(program).canonicalFilePath())
        return false;
    return CreateFromResource(ProgramVersionResource(), GetUserDefaultLangID());
}

bool CFileVersionInfo::CreateFromModule(const void* module)
{
    if (module)
        return false;
    return Create(ProgramPath());
}

bool CFileVersionInfo::CreateFromResource(const VersionResource& resource, uint16_t userLanguage)
{
    Reset();
    std::vector<uint8_t> value;
    if (resource.Query(QStringLiteral("\\"), value) && value.size() == sizeof m_fixedInfo)
        std::memcpy(&m_fixedInfo, value.data(), sizeof m_fixedInfo);

    std::vector<uint32_t> table;
    if (resource.Query(QStringLiteral("\\VarFileInfo\\Translation"), value)) {
        table.resize(value.size() / sizeof(uint32_t));
        std::memcpy(table.data(), value.data(), table.size() * sizeof(uint32_t));
    }
    // Without a translation table there is no string table to choose: only the fixed record is read.
    if (table.empty())
        return true;

    const unsigned tableBytes = unsigned(table.size() * sizeof(uint32_t));
    uint32_t chosen = table.front();
    bool found = false;
    for (uint32_t entry : table) {
        if ((entry & 0xFFFF) == userLanguage) {
            chosen = entry;
            found = true;
            break;
        }
    }
    for (uint16_t language : { userLanguage, uint16_t(0), uint16_t(9) }) {
        if (!found)
            found = FindTranslation(table.data(), tableBytes, language, chosen, true);
    }

    const QString hex = QStringLiteral("%1%2")
                            .arg(chosen & 0xFFFF, 4, 16, QLatin1Char('0'))
                            .arg(chosen >> 16, 4, 16, QLatin1Char('0'))
                            .toUpper();
    const QString prefix = QStringLiteral("\\StringFileInfo\\") + hex + QLatin1Char('\\');
    QString* members[]
        = { &m_companyName, &m_fileDescription, &m_fileVersion, &m_internalName, &m_legalCopyright, &m_originalFileName,
              &m_productName, &m_productVersion, &m_comments, &m_legalTrademarks, &m_privateBuild, &m_specialBuild };
    for (size_t i = 0; i < std::size(kStringNames); ++i)
        resource.QueryString(prefix + QLatin1String(kStringNames[i]), *members[i]);
    return true;
}

std::vector<QString> CFileVersionInfo::GetStrings() const
{
    return { m_companyName, m_fileDescription, m_fileVersion, m_internalName, m_legalCopyright, m_originalFileName,
        m_productName, m_productVersion, m_comments, m_legalTrademarks, m_privateBuild, m_specialBuild };
}

bool CFileVersionInfo::FindTranslation(
    const uint32_t* table, unsigned tableBytes, uint16_t languageId, uint32_t& entry, bool matchLowByte)
{
    const unsigned count = tableBytes / sizeof(uint32_t);
    for (unsigned i = 0; i < count; ++i) {
        if ((table[i] & 0xFFFF) == languageId) {
            entry = table[i];
            return true;
        }
    }
    if (!matchLowByte)
        return false;
    for (unsigned i = 0; i < count; ++i) {
        if ((table[i] & 0xFF) == (languageId & 0xFF)) {
            entry = table[i];
            return true;
        }
    }
    return false;
}
