#include "platform/registry.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

using namespace vnk::platform;

namespace {

constexpr const char* PellamKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Pellam.exe";

// A state directory of the test's own, removed afterwards.
class StateDir {
  public:
    StateDir() {
        static int n = 0;
        m_path = (std::filesystem::temp_directory_path() /
                  ("vnk_registry_" + std::to_string(::getpid()) + "_" + std::to_string(n++)))
                     .string();
        std::filesystem::create_directories(m_path);
    }
    ~StateDir() { std::filesystem::remove_all(m_path); }
    const std::string& path() const { return m_path; }
    std::string hive() const { return registryFilePath(m_path); }
    void write(const std::string& text) const { std::ofstream(hive(), std::ios::binary) << text; }
    std::string read() const {
        std::ifstream in(hive(), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(m_path))
            names.push_back(e.path().filename().string());
        return names;
    }

  private:
    std::string m_path;
};

// Sets or clears an environment variable for one test and puts it back after.
class EnvVar {
  public:
    EnvVar(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvVar() {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

  private:
    const char* m_name;
    std::optional<std::string> m_old;
};

} // namespace

TEST(Registry, StateDirectoryComesFromTheFirstVariableThatIsSet) {
    EnvVar state("VNK_STATE_DIR", "/s/state");
    EnvVar xdg("XDG_STATE_HOME", "/x");
    EnvVar home("HOME", "/home/u");
    EXPECT_EQ(stateDirectory(), "/s/state");
    ::setenv("VNK_STATE_DIR", "", 1); // empty counts as unset
    EXPECT_EQ(stateDirectory(), "/x/varnotek");
    ::unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(stateDirectory(), "/home/u/.local/state/varnotek");
    ::unsetenv("HOME");
    EXPECT_EQ(stateDirectory(), "");
    EXPECT_EQ(queryRegistryString(PellamKey, "Path", 200), std::nullopt);
    EXPECT_FALSE(setRegistryValue(PellamKey, "Path", std::string("/opt")));
}

TEST(Registry, ValuesAreWrittenAsRegedit4AndReadBackExactly) {
    RegistryHive hive;
    ASSERT_TRUE(hive.setValue(PellamKey, "Path", std::string("C:\\Suite \"new\"\\")));
    ASSERT_TRUE(hive.setValue(PellamKey, "", std::string("default")));
    ASSERT_TRUE(hive.setValue("HKEY_CURRENT_USER\\Software\\Varnotek", "Count", std::uint32_t(31)));
    ASSERT_TRUE(hive.setValue("HKEY_CURRENT_USER\\Software\\Varnotek", "Max", std::uint32_t(0xFFFFFFFF)));
    const std::string expected = "REGEDIT4\n\n"
                                 "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App "
                                 "Paths\\Pellam.exe]\n"
                                 "\"Path\"=\"C:\\\\Suite \\\"new\\\"\\\\\"\n"
                                 "@=\"default\"\n\n"
                                 "[HKEY_CURRENT_USER\\Software\\Varnotek]\n"
                                 "\"Count\"=dword:0000001f\n"
                                 "\"Max\"=dword:ffffffff\n\n";
    EXPECT_EQ(hive.text(), expected);

    const StateDir dir;
    ASSERT_TRUE(hive.save(dir.hive()));
    EXPECT_EQ(dir.read(), expected);
    EXPECT_EQ(queryRegistryString(PellamKey, "Path", 200, dir.path()), "C:\\Suite \"new\"\\");
    EXPECT_EQ(queryRegistryString(PellamKey, "", 200, dir.path()), "default");
    EXPECT_EQ(queryRegistryDword("HKEY_CURRENT_USER\\Software\\Varnotek", "Max", dir.path()), 0xFFFFFFFFu);
    EXPECT_EQ(RegistryHive::parse(expected).text(), expected);
}

TEST(Registry, NamesIgnoreCaseAndKeepTheCaseFirstWritten) {
    const StateDir dir;
    dir.write("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Varnotek]\r\n\"Mac\"=\"0000B400A5F6\"\r\n");
    EXPECT_EQ(queryRegistryString("hkey_local_machine\\SOFTWARE\\VARNOTEK", "MAC", 13, dir.path()),
              "0000B400A5F6");
    ASSERT_TRUE(setRegistryValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\varnotek", "MAC", std::string("00C0FFEE0001"),
                                 dir.path()));
    EXPECT_EQ(dir.read(),
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Varnotek]\n\"Mac\"=\"00C0FFEE0001\"\n\n");

    const auto hive = RegistryHive::parse(dir.read());
    EXPECT_TRUE(hive.hasKey("HKEY_LOCAL_MACHINE\\software"));
    EXPECT_TRUE(hive.hasKey("HKEY_LOCAL_MACHINE\\Software\\Varnotek"));
    EXPECT_FALSE(hive.hasKey("HKEY_LOCAL_MACHINE\\Soft"));
    EXPECT_FALSE(hive.hasKey("HKEY_LOCAL_MACHINE\\Software\\Varnotek\\Sub"));
}

TEST(Registry, AStringThatDoesNotFitTheBufferIsNotReadAtAll) {
    const StateDir dir;
    const std::string fits(199, 'd');
    ASSERT_TRUE(setRegistryValue(PellamKey, "Path", fits, dir.path()));
    ASSERT_TRUE(setRegistryValue(PellamKey, "Long", fits + "d", dir.path()));
    ASSERT_TRUE(setRegistryValue(PellamKey, "Number", std::uint32_t(5), dir.path()));
    EXPECT_EQ(queryRegistryString(PellamKey, "Path", 200, dir.path()), fits);
    EXPECT_EQ(queryRegistryString(PellamKey, "Long", 200, dir.path()), std::nullopt);
    EXPECT_EQ(queryRegistryString(PellamKey, "Number", 200, dir.path()), std::nullopt);
    EXPECT_EQ(queryRegistryDword(PellamKey, "Path", dir.path()), std::nullopt);
    EXPECT_EQ(queryRegistryString(PellamKey, "Missing", 200, dir.path()), std::nullopt);
    EXPECT_EQ(queryRegistryString(PellamKey + std::string("\\Sub"), "Path", 200, dir.path()), std::nullopt);
}

TEST(Registry, LinesThatCannotBeReadAreSkippedWithTheValuesOfASkippedKey) {
    const std::string text = std::string("\xEF\xBB\xBFREGEDIT4\n"
                                         "\"Orphan\"=\"before any key\"\n"
                                         "[HKEY_LOCAL_MACHINE\\A]\n"
                                         "; a comment\n"
                                         "  \"Good\" = \"one\"  \n"
                                         "\"Open\"=\"no closing quote\n"
                                         "\"Escape\"=\"C:\\Program Files\"\n"
                                         "\"Trailing\"=\"x\" y\n"
                                         "\"Hex\"=hex:01,02\n"
                                         "\"Big\"=dword:123456789\n"
                                         "\"NotHex\"=dword:12g4\n"
                                         "\"Empty\"=dword:\n"
                                         "\"Nul\"=\"a") +
                             std::string(1, '\0') +
                             "b\"\n"
                             "\"Dword\"=DWORD:7F\n"
                             "\"Good\"=\"two\"\n"
                             "\"Bare\"\n"
                             "[HKEY_LOCAL_MACHINE\\\\Empty\\Part]\n"
                             "\"Lost\"=\"1\"\n"
                             "[-HKEY_LOCAL_MACHINE\\A]\n"
                             "\"Lost\"=\"2\"\n"
                             "[HKEY_LOCAL_MACHINE\\Unclosed\n"
                             "\"Lost\"=\"3\"\n"
                             "[" +
                             std::string(RegistryHive::MaxLineLength, 'K') +
                             "]\n"
                             "\"Lost\"=\"4\"\n"
                             "[HKEY_LOCAL_MACHINE\\B]\n"
                             "\"Long\"=\"" +
                             std::string(RegistryHive::MaxLineLength, 'v') +
                             "\"\n"
                             "@=\"kept\"";
    const auto hive = RegistryHive::parse(text);
    EXPECT_EQ(hive.text(), "REGEDIT4\n\n"
                           "[HKEY_LOCAL_MACHINE\\A]\n\"Good\"=\"two\"\n\"Dword\"=dword:0000007f\n\n"
                           "[HKEY_LOCAL_MACHINE\\B]\n@=\"kept\"\n\n");
}

TEST(Registry, RandomBytesNeverBreakTheReader) {
    std::mt19937 random(1234);
    const std::string alphabet = "[]\"\\=@;:-dword\r\n\t xHKEY_";
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 300, '\0');
        for (auto& c : text)
            c = (random() % 4 == 0) ? char(random()) : alphabet[random() % alphabet.size()];
        const auto hive = RegistryHive::parse(text);
        // Whatever was read is written so that it reads back the same.
        EXPECT_EQ(RegistryHive::parse(hive.text()).text(), hive.text()) << round;
    }
}

TEST(Registry, LinesNearTheLengthLimitReadBackAsTheyWereRead) {
    // "dword:1" is written with eight digits: a line that fits only in its short
    // form would be dropped on the next read, so it is not held at all.
    const std::string key = "[HKEY_LOCAL_MACHINE\\A]\n";
    const auto lineOf = [](std::size_t length, const char* dword) {
        const std::string tail = std::string("\"=dword:") + dword;
        return "\"" + std::string(length - 1 - tail.size(), 'n') + tail + "\n";
    };
    const std::size_t limit = RegistryHive::MaxLineLength;
    const auto hive = RegistryHive::parse("REGEDIT4\n" + key + lineOf(limit - 7, "1") + lineOf(limit - 6, "2") +
                                          "\"x\"=\"y\"\n");
    EXPECT_EQ(hive.text(), "REGEDIT4\n\n" + key + lineOf(limit, "00000001") + "\"x\"=\"y\"\n\n");
    EXPECT_EQ(RegistryHive::parse(hive.text()).text(), hive.text());

    // A key line too long to read drops the values under it, however far in
    // its "[" is.
    const auto skipped = RegistryHive::parse("REGEDIT4\n" + key + "\"a\"=\"1\"\n" + std::string(100, ' ') + "[" +
                                             std::string(limit, 'K') + "]\n\"b\"=\"2\"\n");
    EXPECT_EQ(skipped.text(), "REGEDIT4\n\n" + key + "\"a\"=\"1\"\n\n");
}

TEST(Registry, ValuesThatCouldNotBeReadBackAreRefused) {
    RegistryHive hive;
    EXPECT_FALSE(hive.setValue("", "Path", std::string("x")));
    EXPECT_FALSE(hive.setValue("HKEY_LOCAL_MACHINE\\", "Path", std::string("x")));
    EXPECT_FALSE(hive.setValue("\\HKEY_LOCAL_MACHINE", "Path", std::string("x")));
    EXPECT_FALSE(hive.setValue("HKEY_LOCAL_MACHINE\\\\A", "Path", std::string("x")));
    EXPECT_FALSE(hive.setValue("-HKEY_LOCAL_MACHINE\\A", "Path", std::string("x"))); // reads as a deletion
    EXPECT_FALSE(hive.setValue("HKEY_LOCAL_MACHINE\\A", "Path", std::string("two\nlines")));
    EXPECT_FALSE(hive.setValue("HKEY_LOCAL_MACHINE\\A", "Pa\rth", std::string("x")));
    EXPECT_FALSE(hive.setValue("HKEY_LOCAL_MACHINE\\A", "Path", std::string("a\0b", 3)));
    EXPECT_FALSE(
        hive.setValue("HKEY_LOCAL_MACHINE\\A", "Path", std::string(RegistryHive::MaxLineLength, 'x')));
    EXPECT_FALSE(hive.setValue(std::string(RegistryHive::MaxLineLength, 'K'), "Path", std::string("x")));
    EXPECT_EQ(hive.text(), "REGEDIT4\n\n");
}

TEST(Registry, SettingOneValueKeepsEveryOtherKeyAndLeavesNoTemporaryFile) {
    const StateDir dir;
    dir.write(
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wizard]\n\"Port\"=\"LPT1\"\n\"Tries\"=dword:00000003\n\n"
        "[HKEY_CURRENT_USER\\Empty]\n\n");
    ASSERT_TRUE(setRegistryValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Plugin", "MAC", std::string("0000B400A5F6"),
                                 dir.path()));
    ASSERT_TRUE(
        setRegistryValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Wizard", "Tries", std::uint32_t(4), dir.path()));
    EXPECT_EQ(dir.read(), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wizard]\n\"Port\"=\"LPT1\"\n"
                          "\"Tries\"=dword:00000004\n\n[HKEY_CURRENT_USER\\Empty]\n\n"
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Plugin]\n\"MAC\"=\"0000B400A5F6\"\n\n");
    EXPECT_EQ(dir.files(), std::vector<std::string>{"registry.reg"});
    // The hive written by the test itself had the umask's mode; the saved one is the owner's only.
    EXPECT_EQ(std::filesystem::status(dir.hive()).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    // A value that would make the hive too big for the next load is not written.
    const std::string before = dir.read();
    EXPECT_FALSE(updateRegistry(
        [](RegistryHive& hive) {
            for (int i = 0; hive.text().size() <= RegistryHive::MaxHiveBytes; ++i)
                hive.setValue("HKEY_LOCAL_MACHINE\\Big", "V" + std::to_string(i),
                              std::string(RegistryHive::MaxLineLength / 2, 'x'));
            return true;
        },
        dir.path()));
    EXPECT_EQ(dir.read(), before);

    // A missing state directory is made on the first value set in it.
    const std::string fresh = dir.path() + "/new/state";
    ASSERT_TRUE(setRegistryValue(PellamKey, "Path", std::string("/usr/lib/varnotek"), fresh));
    EXPECT_EQ(queryRegistryString(PellamKey, "Path", 200, fresh), "/usr/lib/varnotek");
}

TEST(Registry, AHiveThatCannotBeReadIsNeitherQueriedNorOverwritten) {
    const StateDir dir;
    const std::string big = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"Path\"=\"/opt\"\n" +
                            std::string(RegistryHive::MaxHiveBytes, ';') + "\n";
    dir.write(big);
    EXPECT_FALSE(RegistryHive::load(dir.hive()).has_value());
    EXPECT_EQ(queryRegistryString("HKEY_LOCAL_MACHINE\\A", "Path", 200, dir.path()), std::nullopt);
    EXPECT_FALSE(setRegistryValue("HKEY_LOCAL_MACHINE\\A", "MAC", std::string("1"), dir.path()));
    EXPECT_EQ(dir.read(), big);

    // A directory where the hive should be.
    const StateDir other;
    std::filesystem::create_directory(other.hive());
    EXPECT_FALSE(RegistryHive::load(other.hive()).has_value());
    EXPECT_FALSE(setRegistryValue("HKEY_LOCAL_MACHINE\\A", "MAC", std::string("1"), other.path()));
}

TEST(Registry, ProgramsSettingValuesAtTheSameTimeKeepEachOthersValues) {
    const StateDir dir;
    constexpr int Writers = 4, Values = 25;
    std::vector<std::thread> writers;
    for (int w = 0; w < Writers; ++w) {
        writers.emplace_back([&, w] {
            for (int v = 0; v < Values; ++v)
                EXPECT_TRUE(setRegistryValue("HKEY_LOCAL_MACHINE\\W" + std::to_string(w),
                                             "V" + std::to_string(v), std::uint32_t(v), dir.path()));
        });
    }
    for (auto& t : writers)
        t.join();
    for (int w = 0; w < Writers; ++w) {
        for (int v = 0; v < Values; ++v)
            EXPECT_EQ(queryRegistryDword("HKEY_LOCAL_MACHINE\\W" + std::to_string(w), "V" + std::to_string(v),
                                         dir.path()),
                      std::uint32_t(v));
    }
}
