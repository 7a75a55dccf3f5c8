#include "platform/endpoint.h"
#include "platform/inifile.h"
#include "platform/program_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace vnk::platform;

namespace {

struct TempIni {
    std::string path;
    explicit TempIni(const std::string& text) {
        path = (std::filesystem::temp_directory_path() /
                ("vnk_ini_" + std::to_string(::getpid()) + "_" + std::to_string(counter()++) + ".ini"))
                   .string();
        std::ofstream(path) << text;
    }
    ~TempIni() { std::filesystem::remove(path); }
    static int& counter() {
        static int n = 0;
        return n;
    }
};

} // namespace

TEST(IniFile, SectionsAndKeysIgnoreCaseAndTheFirstKeyWins) {
    const TempIni f("; comment\n[General Information]\r\nTitle = Acme Box \r\ntitle=Second\n[Other]\nTitle=Nope\n");
    EXPECT_EQ(profileString(f.path, "general information", "TITLE", "Print Server", 80), "Acme Box");
    EXPECT_EQ(profileString(f.path, "Other", "Title", "x", 80), "Nope");
}

TEST(IniFile, MissingFileOrKeyGivesTheDefault) {
    EXPECT_EQ(profileString("/nonexistent/Config.ini", "General Information", "Title", "Print Server", 80),
              "Print Server");
    const TempIni f("[General Information]\nVersion=Version 9\n");
    EXPECT_EQ(profileString(f.path, "General Information", "Title", "Print Server", 80), "Print Server");
    EXPECT_EQ(profileInt(f.path, "General Information", "VendorID", 7), 7);
}

TEST(IniFile, StringsAreCutToTheBuffer) {
    const std::string hundred(100, 'T');
    const TempIni f("[General Information]\nTitle=" + hundred + "\nDeviceType1=12345\n");
    EXPECT_EQ(profileString(f.path, "General Information", "Title", "", 80), std::string(79, 'T'));
    EXPECT_EQ(profileString(f.path, "General Information", "DeviceType1", "", 4), "123");
    // The default is cut the same way.
    EXPECT_EQ(profileString(f.path, "General Information", "Missing", hundred, 80).size(), 79u);
}

TEST(IniFile, IntegersComeFromTheirLeadingDigits) {
    const TempIni f("[S]\na=200\nb=  42abc\nc=abc\nd=\ne=-5\nf=\"17\"\n");
    EXPECT_EQ(profileInt(f.path, "S", "a", 0), 200);
    EXPECT_EQ(profileInt(f.path, "S", "b", 0), 42);
    EXPECT_EQ(profileInt(f.path, "S", "c", 9), 0);
    EXPECT_EQ(profileInt(f.path, "S", "d", 9), 9);
    EXPECT_EQ(profileInt(f.path, "S", "e", 0), -5);
    EXPECT_EQ(profileInt(f.path, "S", "f", 0), 17);
    EXPECT_EQ(leadingInt("99999999999999"), 2147483647);
}

TEST(IniFile, LinesKeepTheirNumbersAndWhatTheLookupsSkip) {
    const IniFile ini = IniFile::parse("stray = before any section\r\n; comment\n\n[Box One]\r\n"
                                       "Mac = \"00:11\"\nno equals sign\n[open\nkey=1\n");
    using Kind = IniFile::Line::Kind;
    const auto& lines = ini.lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].number, 1);
    EXPECT_EQ(lines[0].kind, Kind::Other); // a key before any section is not a key
    EXPECT_EQ(lines[1].number, 4);
    EXPECT_EQ(lines[1].kind, Kind::Section);
    EXPECT_EQ(lines[1].section, "Box One");
    EXPECT_TRUE(lines[1].closed);
    EXPECT_EQ(lines[2].number, 5);
    EXPECT_EQ(lines[2].kind, Kind::Entry);
    EXPECT_EQ(lines[2].section, "Box One");
    EXPECT_EQ(lines[2].key, "Mac");
    EXPECT_EQ(lines[2].value, "00:11");
    EXPECT_EQ(lines[3].kind, Kind::Other);
    EXPECT_EQ(lines[3].text, "no equals sign");
    EXPECT_EQ(lines[4].kind, Kind::Section);
    EXPECT_FALSE(lines[4].closed);
    EXPECT_EQ(lines[5].number, 8);
    EXPECT_EQ(lines[5].section, "open");
    // The lookups are as before: the stray key is not found, the open header still opens its section.
    EXPECT_FALSE(ini.value("", "stray"));
    EXPECT_EQ(ini.value("box one", "MAC"), "00:11");
    EXPECT_EQ(ini.value("open", "key"), "1");
}

TEST(Endpoint, EnvironmentOverridesAndRejectsNonsense) {
    ::setenv("VNK_BROADCAST", "127.255.255.255", 1);
    ::setenv("VNK_PORT", "40001", 1);
    ::setenv("VNK_FW_PORT", "70000", 1);
    std::string error;
    const Endpoint e = Endpoint::fromEnvironment(&error);
    EXPECT_EQ(e.broadcast, "127.255.255.255");
    EXPECT_TRUE(e.isLoopback());
    EXPECT_EQ(e.commandPort, 40001);
    EXPECT_EQ(e.firmwarePort, 13393); // the bad value is refused, the default stays
    EXPECT_NE(error.find("VNK_FW_PORT"), std::string::npos);
    EXPECT_FALSE(e.ipxPort.has_value());
    ::unsetenv("VNK_PORT");
    ::unsetenv("VNK_FW_PORT");
    ::setenv("VNK_BROADCAST", "127.255.255.255", 1);
}

TEST(ProgramDirectory, IsTheFolderOfThisTestProgram) {
    const std::string dir = programDirectory();
    EXPECT_TRUE(std::filesystem::exists(dir + "/test_platform"));
    EXPECT_EQ(directoryOf("/a/b/c"), "/a/b");
    EXPECT_EQ(directoryOf("c"), ".");
}
