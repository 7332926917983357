#include "core/FileVersionInfo.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <cstring>

namespace
{

VersionResource MakeResource(const std::vector<uint32_t>& translations)
{
    VersionResource resource;
    std::vector<uint8_t>& table = resource.blocks["\\VarFileInfo\\Translation"];
    table.resize(translations.size() * 4);
    std::memcpy(table.data(), translations.data(), table.size());
    for (uint32_t entry : translations) {
        const QString prefix = QString("\\StringFileInfo\\%1\\")
                                   .arg(QString("%1%2")
                                            .arg(entry & 0xFFFF, 4, 16, QChar('0'))
                                            .arg(entry >> 16, 4, 16, QChar('0'))
                                            .toUpper());
        resource.strings[prefix + "ProductName"] = prefix;
    }
    return resource;
}

QString ChosenTable(const VersionResource& resource, uint16_t userLanguage)
{
    CFileVersionInfo info;
    EXPECT_TRUE(info.CreateFromResource(resource, userLanguage));
    return info.GetProductName();
}

TEST(FileVersionInfoTest, ChoosesTheStringTableThatSuitsTheUserLanguage)
{
    const VersionResource german = MakeResource({ 0x04E40407, 0x04E40409 });
    EXPECT_EQ(ChosenTable(german, 0x0409), "\\StringFileInfo\\040904E4\\");
    EXPECT_EQ(ChosenTable(german, 0x0807), "\\StringFileInfo\\040704E4\\"); // low byte 07
    EXPECT_EQ(ChosenTable(german, 0x0411), "\\StringFileInfo\\040904E4\\"); // English fallback
    EXPECT_EQ(ChosenTable(MakeResource({ 0x04E4040C, 0x04E40410 }), 0x0411), "\\StringFileInfo\\040C04E4\\");
    EXPECT_EQ(ChosenTable(MakeResource({ 0x04B00000 }), 0x0419), "\\StringFileInfo\\000004B0\\");
}

TEST(FileVersionInfoTest, FindTranslationMatchesWholeIdFirstThenLowByte)
{
    const uint32_t table[] = { 0x04E40807, 0x04E40407 };
    uint32_t entry = 0;
    EXPECT_TRUE(CFileVersionInfo::FindTranslation(table, sizeof table, 0x0407, entry, false));
    EXPECT_EQ(entry, 0x04E40407u);
    EXPECT_FALSE(CFileVersionInfo::FindTranslation(table, sizeof table, 0x0C07, entry, false));
    EXPECT_TRUE(CFileVersionInfo::FindTranslation(table, sizeof table, 0x0C07, entry, true));
    EXPECT_EQ(entry, 0x04E40807u);
    EXPECT_FALSE(CFileVersionInfo::FindTranslation(table, 0, 0x0407, entry, true));
}

TEST(FileVersionInfoTest, TheProgramsOwnResourceCarriesTheBuildsNameAndVersion)
{
    CFileVersionInfo info;
    ASSERT_TRUE(info.CreateFromModule(nullptr));
    EXPECT_EQ(info.GetProductName(), "Kavrilune");
    EXPECT_EQ(info.GetProductVersion(), KAVRILUNE_TEST_VERSION);
    EXPECT_EQ(info.GetFixedInfo().dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info.GetProductVersion().split('.').size(), 4);

    info.Reset();
    EXPECT_TRUE(info.GetProductName().isEmpty());
    EXPECT_EQ(info.GetFixedInfo().dwSignature, 0u);
    for (const QString& text : info.GetStrings())
        EXPECT_TRUE(text.isEmpty());

    EXPECT_FALSE(info.Create("/bin/sh")); // other files carry no version resource here
    EXPECT_TRUE(info.GetProductVersion().isEmpty());
}

TEST(FileVersionInfoTest, AWrongSizedRootBlockLeavesTheFixedInfoZeroButStringsAreRead)
{
    VersionResource resource = MakeResource({ 0x04B00000 });
    resource.blocks["\\"] = std::vector<uint8_t>(40, 0xFF);
    CFileVersionInfo info;
    ASSERT_TRUE(info.CreateFromResource(resource, 0x0409));
    EXPECT_EQ(info.GetFixedInfo().dwSignature, 0u);
    EXPECT_FALSE(info.GetProductName().isEmpty());
}

} // namespace
