#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "runtime/settings.h"

using sauno::ParseSettingsInteger;
using sauno::TIniFile;

TEST(SettingsInteger, DecimalHexAndGarbage)
{
    EXPECT_EQ(ParseSettingsInteger("1024"), 1024);
    EXPECT_EQ(ParseSettingsInteger("0x400"), 1024);
    EXPECT_EQ(ParseSettingsInteger("0X400"), 1024);
    EXPECT_EQ(ParseSettingsInteger("$400"), 1024);
    EXPECT_EQ(ParseSettingsInteger("-$10"), -16);
    EXPECT_EQ(ParseSettingsInteger("   -42"), -42);
    EXPECT_EQ(ParseSettingsInteger("+7"), 7);
    EXPECT_EQ(ParseSettingsInteger("2147483647"), 2147483647);
    EXPECT_EQ(ParseSettingsInteger("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseSettingsInteger("0xFFFFFFFF"), -1);  // hexadecimal wraps to 32 bits
    // "0x" alone is not hexadecimal and not a decimal number either.
    EXPECT_FALSE(ParseSettingsInteger("0x"));
    for (const char* bad : {"abc", "12abc", "", " ", "-", "$", "0xG1", "2147483648", "1 2", "12 ", "0x100000000",
                            "1e3", "--1"})
        EXPECT_FALSE(ParseSettingsInteger(bad)) << bad;
}

TEST(SettingsFile, SectionsKeysAndDefaults)
{
    TIniFile ini = TIniFile::FromText(
        "; comment\n"
        "# another\n"
        "orphan=1\n"
        "[GRAPHICS]\r\n"
        "  ResoW =  0x400  \r\n"
        "resoh=abc\n"
        "mode=FullScreen\n"
        "resow=800\n"  // a second value of the same key: the first wins
        "[ Misc ]\n"
        "name = \"Matti Meikäläinen\"\n"
        "broken line without equals\n");
    EXPECT_EQ(ini.ReadInteger("Graphics", "resow", 640), 1024);
    EXPECT_EQ(ini.ReadInteger("graphics", "RESOH", 480), 480);
    EXPECT_EQ(ini.ReadString("Graphics", "mode", "windowed"), "FullScreen");
    EXPECT_EQ(ini.ReadString("Misc", "Name", "pelaaja"), "Matti Meikäläinen");
    EXPECT_EQ(ini.ReadString("Misc", "missing", "x"), "x");
    EXPECT_EQ(ini.ReadString("Nowhere", "orphan", "d"), "d");
    EXPECT_EQ(ini.ReadInteger("Graphics", "orphan", 5), 5);
}

TEST(SettingsFile, AByteOrderMarkBeforeTheFirstSectionIsSkipped)
{
    TIniFile ini = TIniFile::FromText("\xEF\xBB\xBF[Graphics]\r\nresow=800\r\n");
    EXPECT_EQ(ini.ReadInteger("Graphics", "resow", 640), 800);
}

TEST(SettingsFile, ValuesCountUpTo2047Characters)
{
    std::string longName(3000, 'a');
    TIniFile ini = TIniFile::FromText("[Misc]\nName=" + longName + "\n");
    EXPECT_EQ(ini.ReadString("Misc", "Name", ""), std::string(2047, 'a'));
}

TEST(SettingsFile, MissingFileGivesDefaults)
{
    TIniFile ini("/nonexistent/dir/settings.ini");
    EXPECT_EQ(ini.ReadInteger("Graphics", "resow", 640), 640);
    EXPECT_EQ(ini.ReadString("Misc", "Name", "pelaaja"), "pelaaja");
}

TEST(SettingsFile, ReadsARealFile)
{
    auto path = std::filesystem::temp_directory_path() / "sauno_settings_test.ini";
    {
        std::ofstream out(path);
        out << "[Graphics]\nresoh=600\n";
    }
    TIniFile ini(path.string());
    EXPECT_EQ(ini.ReadInteger("Graphics", "resoh", 480), 600);
    std::filesystem::remove(path);
}
