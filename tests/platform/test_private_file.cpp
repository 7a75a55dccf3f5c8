#include "platform/private_file.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using vnk::platform::writeFilePrivately;
namespace fs = std::filesystem;

namespace {

class Folder {
  public:
    Folder() {
        static int n = 0;
        m_path = (fs::temp_directory_path() / ("vnk_private_" + std::to_string(::getpid()) + "_" + std::to_string(n++)))
                     .string();
        fs::create_directories(m_path);
    }
    ~Folder() { fs::remove_all(m_path); }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    std::vector<std::string> names() const {
        std::vector<std::string> all;
        for (const auto& e : fs::directory_iterator(m_path))
            all.push_back(e.path().filename().string());
        std::sort(all.begin(), all.end());
        return all;
    }

  private:
    std::string m_path;
};

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

unsigned modeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? unsigned(st.st_mode & 07777) : 0xFFFFu;
}

// Sets the umask for one test and puts the old one back after.
class Umask {
  public:
    explicit Umask(mode_t m) : m_old(::umask(m)) {}
    ~Umask() { ::umask(m_old); }

  private:
    mode_t m_old;
};

} // namespace

TEST(PrivateFile, IsTheOwnersOnlyWhateverTheUmaskAndReplacesAWiderFile) {
    const Folder dir;
    const std::string bytes("record\0with a NUL and a password", 32);
    {
        const Umask open(0);
        ASSERT_TRUE(writeFilePrivately(dir.file("fresh"), bytes));
        EXPECT_EQ(modeOf(dir.file("fresh")), 0600u);
    }
    {
        // A umask that takes the owner's own bits away does not make the file unreadable to him.
        const Umask tight(0277);
        ASSERT_TRUE(writeFilePrivately(dir.file("tight"), "x"));
        EXPECT_EQ(modeOf(dir.file("tight")), 0600u);
    }
    EXPECT_EQ(contents(dir.file("fresh")), bytes);

    std::ofstream(dir.file("old")) << "an older and longer content";
    ASSERT_EQ(::chmod(dir.file("old").c_str(), 0644), 0);
    ASSERT_TRUE(writeFilePrivately(dir.file("old"), "new"));
    EXPECT_EQ(modeOf(dir.file("old")), 0600u);
    EXPECT_EQ(contents(dir.file("old")), "new");
    ASSERT_TRUE(writeFilePrivately(dir.file("old"), ""));
    EXPECT_EQ(contents(dir.file("old")), "");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"fresh", "old", "tight"}));
}

TEST(PrivateFile, AFailedWriteLeavesTheOldFileAndNoTemporaryFile) {
    const Folder dir;
    std::ofstream(dir.file("record")) << "the old record";
    std::string error;

    // The disk refuses the bytes halfway (a file size limit stops root too).
    {
        struct rlimit old {};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 4;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool written = writeFilePrivately(dir.file("record"), std::string(4096, 'x'), &error);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(written);
    }
    EXPECT_NE(error.find(dir.file("record")), std::string::npos) << error;
    EXPECT_EQ(contents(dir.file("record")), "the old record");

    // A folder or a device where the file should be is refused, not replaced.
    fs::create_directory(dir.file("folder"));
    EXPECT_FALSE(writeFilePrivately(dir.file("folder"), "bytes"));
    EXPECT_TRUE(fs::is_directory(dir.file("folder")));
    EXPECT_FALSE(writeFilePrivately("/dev/null", "bytes"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    // The folder is missing: nothing can be written, and the error says why.
    error.clear();
    EXPECT_FALSE(writeFilePrivately(dir.file("missing/record"), "bytes", &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;

    EXPECT_EQ(dir.names(), (std::vector<std::string>{"folder", "record"}));
}
