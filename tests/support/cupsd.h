// A CUPS scheduler of a test's own: cupsd started in the foreground on a free
// loopback port, with its configuration, spool, cache, state and logs in a
// temporary directory, stopped and removed at the end. The system's cupsd, its
// queues and /etc/cups are never touched: point libcups at server() (CUPS_SERVER)
// and nothing else is asked.
//
//   TestCupsd cupsd;
//   if (!TestCupsd::installed()) GTEST_SKIP() << "cupsd is not installed";
//   ASSERT_TRUE(cupsd.running()) << cupsd.whyNot();
//   setenv("CUPS_SERVER", cupsd.server().c_str(), 1);
//
// Anyone on 127.0.0.1 may add and change queues without a password, unless the
// options ask for one on /admin (then a client without credentials is refused).
// As root, cupsd runs its helpers as lp, as it insists. As another user it runs
// them as that user; the system's lpd backend is executable by root only and
// cupsd refuses a queue whose backend it cannot run, so it then gets a private
// backend folder in which the backends it cannot run are stand-ins that fail:
// enough to make queues, not to print.
//
// Needs libcups (Cups::Cups) for queues(); GoogleTest-free so that Qt tests can
// use it too.
#pragma once

#include "support/ports.h"

#include <cups/cups.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vnk::testing {

struct TestCupsdOptions {
    bool adminNeedsPassword = false; // /admin asks for Basic authentication
    // Backends of the test's own, by scheme ("varnotek" -> the built program):
    // cupsd then gets a private backend folder beside links to the system's.
    std::vector<std::pair<std::string, std::string>> backends;
    // "NAME=value" for the backends' environment (cups-files.conf SetEnv).
    std::vector<std::string> environment;
};

class TestCupsd {
public:
    using Options = TestCupsdOptions;
    // A queue as CUPS-Get-Printers reports it.
    struct Queue {
        std::string name;
        std::string deviceUri;
        std::string info;
        int state = 0; // IPP_PSTATE_IDLE, _PROCESSING, _STOPPED
        bool accepting = false;
    };

    static std::string program() {
        for (const char* dir : {"/usr/sbin", "/usr/local/sbin", "/sbin"}) {
            const std::string path = std::string(dir) + "/cupsd";
            if (::access(path.c_str(), X_OK) == 0)
                return path;
        }
        return {};
    }
    static bool installed() { return !program().empty(); }

    explicit TestCupsd(Options options = {}) : m_options(options) {
        if (!installed()) {
            m_why = "cupsd is not installed";
            return;
        }
        // A port that was free a moment ago can be taken before cupsd binds it.
        for (int attempt = 0; attempt < 3 && m_pid <= 0; ++attempt)
            start();
    }
    ~TestCupsd() {
        stop();
        if (!m_dir.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_dir, ignored);
        }
    }
    TestCupsd(const TestCupsd&) = delete;
    TestCupsd& operator=(const TestCupsd&) = delete;

    bool running() const { return m_pid > 0; }
    // Why it is not running: not installed, or what cupsd said when it stopped.
    const std::string& whyNot() const { return m_why; }
    int port() const { return m_port; }
    // The value for CUPS_SERVER.
    std::string server() const { return "127.0.0.1:" + std::to_string(m_port); }
    const std::string& directory() const { return m_dir; }

    // Every queue of this cupsd, asked over IPP; nothing when it did not answer.
    std::optional<std::vector<Queue>> queues() const {
        http_t* http = httpConnect2("127.0.0.1", m_port, nullptr, AF_INET, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000,
                                    nullptr);
        if (!http)
            return std::nullopt;
        ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
        static const char* const wanted[] = {"printer-name", "device-uri", "printer-info", "printer-state",
                                             "printer-is-accepting-jobs"};
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 5, nullptr, wanted);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
        ipp_t* response = cupsDoRequest(http, request, "/");
        const ipp_status_t status = cupsLastError();
        httpClose(http);
        std::vector<Queue> found;
        if (status == IPP_STATUS_ERROR_NOT_FOUND) { // no queue at all
            ippDelete(response);
            return found;
        }
        if (!response || status > IPP_STATUS_OK_CONFLICTING) {
            ippDelete(response);
            return std::nullopt;
        }
        Queue* q = nullptr;
        for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
            const char* name = ippGetName(a);
            if (!name || ippGetGroupTag(a) != IPP_TAG_PRINTER) {
                q = nullptr; // a separator between printers
                continue;
            }
            if (!q)
                q = &found.emplace_back();
            const std::string n = name;
            const char* text = ippGetString(a, 0, nullptr);
            if (n == "printer-name" && text)
                q->name = text;
            else if (n == "device-uri" && text)
                q->deviceUri = text;
            else if (n == "printer-info" && text)
                q->info = text;
            else if (n == "printer-state")
                q->state = ippGetInteger(a, 0);
            else if (n == "printer-is-accepting-jobs")
                q->accepting = ippGetBoolean(a, 0) != 0;
        }
        ippDelete(response);
        return found;
    }

private:
    static bool answers(int port) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(std::uint16_t(port));
        const bool ok = s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        if (s >= 0)
            ::close(s);
        return ok;
    }

    static void writeFile(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
        ::chmod(path.c_str(), 0640);
    }

    static std::string readFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // As another user than root: backends of the system that it may run are
    // linked, the others are stand-ins, and every other folder is the system's.
    void privateServerBin(const std::string& bin) {
        namespace fs = std::filesystem;
        const bool root = ::geteuid() == 0;
        const fs::path system = "/usr/lib/cups";
        std::error_code e;
        fs::create_directories(bin + "/backend", e);
        for (const auto& entry : fs::directory_iterator(system, e)) {
            if (entry.path().filename() != "backend")
                fs::create_directory_symlink(entry.path(), fs::path(bin) / entry.path().filename(), e);
        }
        for (const auto& entry : fs::directory_iterator(system / "backend", e)) {
            const fs::path mine = fs::path(bin) / "backend" / entry.path().filename();
            if (root || ::access(entry.path().c_str(), X_OK) == 0) {
                fs::create_symlink(entry.path(), mine, e);
            } else {
                writeFile(mine.string(), "#!/bin/sh\n# a stand-in: this user cannot run the real backend\nexit 1\n");
                ::chmod(mine.c_str(), 0755);
            }
        }
        // A backend of the test's own is a copy: cupsd runs it as lp, which
        // may not be able to reach the build folder.
        for (const auto& [scheme, program] : m_options.backends) {
            const fs::path mine = fs::path(bin) / "backend" / scheme;
            fs::copy_file(program, mine, fs::copy_options::overwrite_existing, e);
            ::chmod(mine.c_str(), 0755);
        }
    }

    void start() {
        namespace fs = std::filesystem;
        std::error_code e;
        if (m_dir.empty()) {
            std::string pattern = (fs::temp_directory_path() / "vnk_cupsd_XXXXXX").string();
            if (!::mkdtemp(pattern.data())) {
                m_why = "cannot make a temporary directory for cupsd";
                return;
            }
            m_dir = pattern;
            // lp, which cupsd runs its helpers as, must be able to walk in.
            ::chmod(m_dir.c_str(), 0755);
            for (const char* d : {"conf", "spool", "spool/tmp", "cache", "state", "log", "ssl"})
                fs::create_directories(m_dir + "/" + d, e);
        }
        m_port = freeLoopbackPort();
        if (m_port == 0) {
            m_why = "no free loopback port";
            return;
        }
        const bool root = ::geteuid() == 0;
        std::string files = "ServerRoot " + m_dir + "/conf\n"
                            "RequestRoot " + m_dir + "/spool\n"
                            "TempDir " + m_dir + "/spool/tmp\n"
                            "CacheDir " + m_dir + "/cache\n"
                            "StateDir " + m_dir + "/state\n"
                            "ServerKeychain " + m_dir + "/ssl\n"
                            "ErrorLog " + m_dir + "/log/error_log\n"
                            "AccessLog " + m_dir + "/log/access_log\n"
                            "PageLog " + m_dir + "/log/page_log\n"
                            "SystemGroup root\n";
        if (root)
            files += "User lp\nGroup lp\n";
        if (!root || !m_options.backends.empty()) {
            if (!fs::exists(m_dir + "/bin"))
                privateServerBin(m_dir + "/bin");
            files += "ServerBin " + m_dir + "/bin\n";
        }
        for (const std::string& variable : m_options.environment)
            files += "SetEnv " + variable.substr(0, variable.find('=')) + " " +
                     variable.substr(variable.find('=') + 1) + "\n";
        const std::string open = "  Order allow,deny\n  Allow from 127.0.0.1\n";
        const std::string admin =
            m_options.adminNeedsPassword ? "  AuthType Basic\n  Require user @SYSTEM\n" + open : open;
        const std::string conf = "LogLevel warn\n"
                                 "Listen 127.0.0.1:" + std::to_string(m_port) + "\n"
                                 "Browsing No\n"
                                 "BrowseLocalProtocols none\n"
                                 "WebInterface No\n"
                                 "DefaultAuthType Basic\n"
                                 "DefaultEncryption Never\n"
                                 "<Location />\n" + open + "</Location>\n"
                                 "<Location /admin>\n" + admin + "</Location>\n"
                                 "<Policy default>\n"
                                 "  JobPrivateAccess all\n  JobPrivateValues none\n"
                                 "  SubscriptionPrivateAccess all\n  SubscriptionPrivateValues none\n"
                                 "  <Limit All>\n" + open + "  </Limit>\n"
                                 "</Policy>\n";
        const std::string confPath = m_dir + "/conf/cupsd.conf";
        const std::string filesPath = m_dir + "/conf/cups-files.conf";
        writeFile(confPath, conf);
        writeFile(filesPath, files);
        const std::string out = m_dir + "/log/cupsd.out";
        const std::string exe = program();

        const pid_t parent = ::getpid();
        const pid_t pid = ::fork();
        if (pid == 0) {
            // cupsd goes when the test program does, even when it crashes.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent)
                ::_exit(127);
            const int null = ::open("/dev/null", O_RDONLY);
            const int log = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (null >= 0)
                ::dup2(null, 0);
            if (log >= 0) {
                ::dup2(log, 1);
                ::dup2(log, 2);
            }
            ::execl(exe.c_str(), "cupsd", "-f", "-c", confPath.c_str(), "-s", filesPath.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (pid < 0) {
            m_why = "cannot start cupsd";
            return;
        }
        m_pid = pid;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                m_why = "cupsd stopped at once: " + readFile(out) + readFile(m_dir + "/log/error_log");
                return;
            }
            // A port taken in the meantime leaves cupsd running without a
            // socket (and maybe another program answering): try another.
            if (readFile(m_dir + "/log/error_log").find("Unable to open listen socket") != std::string::npos) {
                stop();
                m_why = "port " + std::to_string(m_port) + " was taken";
                std::filesystem::remove(m_dir + "/log/error_log", e);
                return;
            }
            if (answers(m_port)) {
                m_why.clear();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        stop();
        m_why = "cupsd did not answer on port " + std::to_string(m_port);
    }

    void stop() {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (::waitpid(m_pid, nullptr, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        m_pid = -1;
    }

    Options m_options;
    std::string m_dir;
    std::string m_why;
    int m_port = 0;
    pid_t m_pid = -1;
};

} // namespace vnk::testing
