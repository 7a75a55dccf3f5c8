// The launcher run as a user runs it, against stand-in utilities: small shell
// scripts named hollin and brevan that write down how they were started (the
// path they were started as, their arguments, their working directory) into
// the folder the launcher's environment names. Each test has its own folders,
// its own state directory and, for IPX, its own carrier port.
#include "platform/registry.h"
#include "platform/udp_socket.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace vnk::platform;

namespace {

constexpr const char* InstallKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Pellam.exe";

constexpr const char* StandIn =
    "#!/bin/sh\n"
    "record=\"$VNK_TEST_RECORDS/$(basename \"$0\")\"\n"
    "{ printf '%s\\n' \"$0\" \"$#\" \"$(pwd -P)\"; printf '%s\\n' \"$@\"; } > \"$record.tmp\"\n"
    "mv \"$record.tmp\" \"$record\"\n";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::uint16_t freePort() {
    const int s = openUdpSocket();
    EXPECT_EQ(bindAny(s, 0), 0);
    const std::uint16_t port = localPort(s);
    closeSocket(s);
    return port;
}

// How a stand-in was started.
struct StandInRun {
    std::string startedAs;
    int arguments = -1;
    std::string directory;
};

class Launcher : public ::testing::Test {
  protected:
    Launcher() {
        static int n = 0;
        m_root = fs::temp_directory_path() /
                 ("vnk_launcher_" + std::to_string(::getpid()) + "_" + std::to_string(n++));
        for (const char* d : {"suite", "elsewhere", "state", "records", "alone"})
            fs::create_directories(m_root / d);
        m_root = fs::canonical(m_root); // the stand-ins report physical paths
        standIn(suite() / "hollin");
        standIn(suite() / "brevan");
    }
    ~Launcher() override { fs::remove_all(m_root); }

    fs::path suite() const { return m_root / "suite"; }
    fs::path elsewhere() const { return m_root / "elsewhere"; }
    fs::path alone() const { return m_root / "alone"; }

    static void standIn(const fs::path& path) {
        std::ofstream(path) << StandIn;
        fs::permissions(path, fs::perms::owner_all);
    }
    // A copy of the launcher in dir, so that its own directory is dir.
    fs::path launcherIn(const fs::path& dir) const {
        const fs::path copy = dir / "pellam";
        fs::copy_file(VNK_PELLAM, copy, fs::copy_options::overwrite_existing);
        return copy;
    }
    void registerPath(const std::string& path) const {
        ASSERT_TRUE(setRegistryValue(InstallKey, "Path", path, (m_root / "state").string()));
    }

    // Runs the launcher in directory with the state directory, the records
    // folder and, when given, an IPX carrier port on loopback; returns its exit
    // status, and what it wrote is kept in m_output.
    int launch(const fs::path& program, const fs::path& directory, std::optional<std::string> ipxPort = {}) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string_view v = *e;
            if (!v.starts_with("VNK_") && !v.starts_with("HOME=") && !v.starts_with("XDG_STATE_HOME="))
                env.emplace_back(v);
        }
        env.push_back("VNK_STATE_DIR=" + (m_root / "state").string());
        env.push_back("VNK_TEST_RECORDS=" + (m_root / "records").string());
        env.push_back("VNK_BROADCAST=127.255.255.255");
        if (ipxPort)
            env.push_back("VNK_IPX_PORT=" + *ipxPort);
        std::vector<char*> envp;
        for (auto& v : env)
            envp.push_back(v.data());
        envp.push_back(nullptr);

        const std::string output = (m_root / "output").string();
        std::string programText = program.string();
        char* argv[] = {programText.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, programText.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(spawned, 0) << std::strerror(spawned);
        if (spawned != 0)
            return -1;
        int status = 0;
        waitpid(pid, &status, 0);
        m_output = readFile(output);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // How the stand-in name was started, once it has written it down (the
    // launcher does not wait for it); nothing after ten seconds.
    std::optional<StandInRun> ran(const std::string& name) const {
        const fs::path record = m_root / "records" / name;
        for (int i = 0; i < 1000 && !fs::exists(record); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!fs::exists(record))
            return std::nullopt;
        std::istringstream lines(readFile(record));
        StandInRun run;
        std::string count;
        std::getline(lines, run.startedAs);
        std::getline(lines, count);
        std::getline(lines, run.directory);
        run.arguments = std::stoi(count);
        return run;
    }
    bool anyRan() const { return !fs::is_empty(m_root / "records"); }

    fs::path m_root;
    std::string m_output;
};

} // namespace

TEST_F(Launcher, WithIpxItStartsHollinAloneInItsOwnDirectoryEvenWithTcpIp) {
    registerPath(suite().string());
    ASSERT_EQ(launch(VNK_PELLAM, elsewhere(), std::to_string(freePort())), 0);
    const auto run = ran("hollin");
    ASSERT_TRUE(run) << "hollin did not run";
    EXPECT_EQ(run->startedAs, (suite() / "hollin").string());
    EXPECT_EQ(run->arguments, 0);
    EXPECT_EQ(run->directory, elsewhere().string()); // the launcher's, not the suite's
    EXPECT_FALSE(fs::exists(m_root / "records" / "brevan"));
    EXPECT_EQ(m_output, "");
}

TEST_F(Launcher, WithoutIpxItStartsBrevan) {
    registerPath(suite().string());
    // Not set up, set up with a port that is no port, and a carrier port that
    // cannot be opened (a privileged one, unless the tests run as root).
    std::vector<std::optional<std::string>> cases = {std::nullopt, std::string("x213")};
    if (::geteuid() != 0)
        cases.push_back(std::string("1"));
    for (const auto& port : cases) {
        SCOPED_TRACE(port.value_or("(unset)"));
        fs::remove_all(m_root / "records");
        fs::create_directory(m_root / "records");
        ASSERT_EQ(launch(VNK_PELLAM, elsewhere(), port), 0);
        const auto run = ran("brevan");
        ASSERT_TRUE(run) << "brevan did not run";
        EXPECT_EQ(run->startedAs, (suite() / "brevan").string());
        EXPECT_EQ(run->arguments, 0);
        EXPECT_EQ(run->directory, elsewhere().string());
        EXPECT_FALSE(fs::exists(m_root / "records" / "hollin"));
    }
}

TEST_F(Launcher, ARegisteredPathEndingInASlashStillStartsTheUtility) {
    registerPath(suite().string() + "/");
    ASSERT_EQ(launch(VNK_PELLAM, elsewhere()), 0);
    const auto run = ran("brevan");
    ASSERT_TRUE(run) << "brevan did not run";
    EXPECT_EQ(run->startedAs, suite().string() + "//brevan");
}

TEST_F(Launcher, WithoutTheKeyItFindsTheUtilityWhereItWasStarted) {
    // A launcher kept apart from the suite, started in the installation directory.
    ASSERT_EQ(launch(launcherIn(alone()), suite()), 0);
    const auto run = ran("brevan");
    ASSERT_TRUE(run) << "brevan did not run";
    EXPECT_EQ(run->startedAs, (suite() / "brevan").string());
    EXPECT_EQ(run->directory, suite().string());
}

TEST_F(Launcher, WithoutTheKeyAnInstalledLauncherTakesTheUtilityBesideItOverOneInTheCurrentDirectory) {
    standIn(elsewhere() / "brevan");
    // A value too long for its buffer counts as missing.
    registerPath(std::string(200, 'x'));
    ASSERT_EQ(launch(launcherIn(suite()), elsewhere()), 0);
    const auto run = ran("brevan");
    ASSERT_TRUE(run) << "brevan did not run";
    EXPECT_EQ(run->startedAs, (suite() / "brevan").string());
    EXPECT_EQ(run->directory, elsewhere().string());
}

TEST_F(Launcher, AUtilityThatIsNotThereEndsTheLauncherQuietlyWithStatusZero) {
    registerPath((m_root / "nowhere").string());
    EXPECT_EQ(launch(VNK_PELLAM, suite()), 0);
    EXPECT_EQ(m_output, "");

    // No key, and a current directory too long for its buffer: it is not searched.
    fs::path deep = m_root / std::string(60, 'd') / std::string(60, 'e');
    fs::create_directories(deep);
    standIn(deep / "brevan");
    fs::remove(m_root / "state" / "registry.reg");
    EXPECT_EQ(launch(launcherIn(alone()), deep), 0);
    EXPECT_EQ(m_output, "");

    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(anyRan());
}
