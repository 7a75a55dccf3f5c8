// Linked into every test program: before main, the program takes the
// environment it needs and nothing of the shell that started it, so it behaves
// the same from ctest, from ./run test and on its own.
//
//  - Every VNK_ variable goes, and VNK_BROADCAST is the loopback broadcast
//    address: nothing a test sends can leave 127.0.0.0/8, whatever the shell says.
//  - HOME, TMPDIR and the XDG folders lie in one private folder, removed when the
//    program ends: what Qt, Chromium, fontconfig or a forgotten state directory
//    would leave in $HOME or /tmp goes with it.
//  - CUPS_SERVER names a port where nothing listens, unless a test starts a cupsd
//    of its own and says where: no test reaches this machine's print server.
//  - Qt programs run on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

class TestEnvironment {
public:
    TestEnvironment() : m_owner(::getpid()) {
        std::vector<std::string> ours;
        for (char** e = environ; e && *e; ++e)
            if (std::strncmp(*e, "VNK_", 4) == 0)
                ours.emplace_back(*e, std::strcspn(*e, "="));
        for (const std::string& name : ours)
            ::unsetenv(name.c_str());
        ::setenv("VNK_BROADCAST", "127.255.255.255", 1);
        ::setenv("CUPS_SERVER", "127.0.0.1:9", 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);

        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vnk-test-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            return; // the tests still run, in the shell's folders
        m_root = pattern;
        // A cupsd a test starts runs its helpers as lp, which must be able to
        // walk through to the test's folders (not to list them).
        std::filesystem::permissions(m_root, std::filesystem::perms::owner_all | std::filesystem::perms::group_exec |
                                                 std::filesystem::perms::others_exec);
        for (const char* folder : {"home", "tmp", "config", "cache", "state", "data", "runtime"})
            std::filesystem::create_directory(m_root + "/" + folder);
        std::filesystem::permissions(m_root + "/runtime", std::filesystem::perms::owner_all);
        ::setenv("HOME", (m_root + "/home").c_str(), 1);
        ::setenv("TMPDIR", (m_root + "/tmp").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (m_root + "/config").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (m_root + "/cache").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (m_root + "/state").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (m_root + "/data").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (m_root + "/runtime").c_str(), 1);
    }
    ~TestEnvironment() {
        // A child forked without exec must not take the folder from its parent.
        if (m_root.empty() || ::getpid() != m_owner)
            return;
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

private:
    pid_t m_owner;
    std::string m_root;
};

const TestEnvironment environment;

} // namespace
