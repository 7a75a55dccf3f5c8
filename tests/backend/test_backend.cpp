// The backend as cupsd runs it: without arguments it lists the simulated boxes'
// parallel ports; with a job it finds the box by its Ethernet address and sends
// the job to the box's LPD queue, or says why not with the exit status CUPS acts on.
#include "support/sim_fixture.h"
#include "transport/lpd/lpd_client.h"

#include <cups/backend.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <algorithm>
#include <sstream>

extern char** environ;

namespace {

using namespace vnk;

std::vector<protocol::Byte> bytes(const std::string& s) {
    return {s.begin(), s.end()};
}
bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct Ran {
    int status = -1; // the exit status, or minus the signal
    std::string out, err;
};

class BackendTest : public vnk::testing::SimLanTest {
protected:
    // A box with a loopback address, so that the simulated LAN takes its jobs.
    static sim::BoxSpec printingBox(protocol::Byte last) {
        return vnk::testing::testBox("PRINTS", last, 0x01, protocol::record::CapTcpIp,
                                     [](protocol::ConfigRecord& r) {
                                         sim::setIPv4(r, protocol::record::IpAddress, {127, 0, 0, 61});
                                     });
    }
    Ran backend(const std::vector<std::string>& args, const std::string& uri = {},
                const std::string& input = {}, std::uint16_t lpdPort = 0) {
        m_dir.write("in", input);
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            env.emplace_back(*e);
        const auto e = lan().endpoint();
        env.push_back("VNK_PORT=" + std::to_string(e.commandPort));
        env.push_back("VNK_FW_PORT=" + std::to_string(e.firmwarePort));
        if (lpdPort || lan().lpdPort())
            env.push_back("VNK_LPD_PORT=" + std::to_string(lpdPort ? lpdPort : lan().lpdPort()));
        if (!uri.empty())
            env.push_back("DEVICE_URI=" + uri);
        std::vector<std::string> argv{VNK_BACKEND_PROGRAM};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto pointers = [](std::vector<std::string>& v) {
            std::vector<char*> p;
            for (auto& s : v)
                p.push_back(s.data());
            p.push_back(nullptr);
            return p;
        };
        auto envp = pointers(env), argp = pointers(argv);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 0, m_dir.file("in").c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&files, 1, m_dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&files, 2, m_dir.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        pid_t pid = -1;
        Ran r;
        if (posix_spawn(&pid, argp[0], &files, nullptr, argp.data(), envp.data()) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&files);
        const auto read = [&](const char* name) {
            std::ostringstream s;
            s << std::ifstream(m_dir.file(name)).rdbuf();
            return s.str();
        };
        r.out = read("out");
        r.err = read("err");
        return r;
    }
};

TEST_F(BackendTest, DiscoveryListsEveryParallelPortWithItsPrinter) {
    auto two = vnk::testing::testBox("ALPHA", 1, 0x02);
    two.features65 = 0x02; // extended printer status: the printers' identification items
    two.printers = {{"\r\nDISPLAY=\"READY\"\r\n", "MFG:Acme;MDL:Jet 9;CMD:PCL;", {}, {}}};
    auto pc = vnk::testing::testBox("DESK", 3);
    pc.isPc = true;
    pc.deviceType = 1;
    startLan({two, vnk::testing::testBox("Caf\xE9", 2), pc});
    const Ran r = backend({});
    EXPECT_EQ(r.status, CUPS_BACKEND_OK) << r.err;
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    // A port without a printer is listed too; the box's Windows-1252 name becomes UTF-8.
    EXPECT_EQ(
        lines,
        (std::vector<std::string>{
            R"(network varnotek://0000B4550001/LPT1 "Acme Jet 9" "ALPHA LPT1" )"
            R"("MFG:Acme;MDL:Jet 9;CMD:PCL;" "ALPHA")",
            R"(network varnotek://0000B4550001/LPT2 "Unknown" "ALPHA LPT2" "" "ALPHA")",
            "network varnotek://0000B4550002/LPT1 \"Unknown\" \"Caf\xC3\xA9 LPT1\" \"\" \"Caf\xC3\xA9\"",
        }));
}

TEST_F(BackendTest, AJobGoesToTheBoxQueueOfItsPortWithTheCopiesOfAFile) {
    sim::LanOptions options;
    options.lpdPort = 0;
    startLan({printingBox(3)}, options);
    const std::string uri = "varnotek://0000B4550003/LPT1";
    m_dir.write("job.prn", "PAGE\f");
    // A file named: the backend makes the copies.
    const Ran file = backend({"7", "alice", "Report", "2", "", m_dir.file("job.prn")}, uri);
    EXPECT_EQ(file.status, CUPS_BACKEND_OK) << file.err;
    EXPECT_PRED2(has, file.err, "INFO: Looking for print server 00:00:B4:55:00:03\n");
    EXPECT_PRED2(has, file.err,
                 "INFO: Sending the job to 127.0.0.61 port " + std::to_string(lan().lpdPort()) +
                     ", queue LPT1\n");
    // On standard input the filters have made the copies: the job goes once.
    EXPECT_EQ(backend({"8", "alice", "Memo", "3", ""}, uri, "MEMO\f").status, CUPS_BACKEND_OK);
    EXPECT_EQ(lan().jobs(0, 1),
              (std::vector<std::vector<protocol::Byte>>{bytes("PAGE\fPAGE\f"), bytes("MEMO\f")}));

    // The box has no LPT2: its daemon refuses the queue, and trying again would not help.
    const Ran refused = backend({"9", "alice", "Memo", "1", ""}, "varnotek://0000B4550003/LPT2", "X");
    EXPECT_EQ(refused.status, CUPS_BACKEND_STOP);
    EXPECT_PRED2(has, refused.err,
                 "ERROR: 127.0.0.61 port " + std::to_string(lan().lpdPort()) + " refused the queue LPT2");
}

TEST_F(BackendTest, AJobWaitsWhenTheBoxOrItsDaemonCannotBeReached) {
    startLan({printingBox(4)}); // no LPD on this LAN
    // A port of the box's address where nothing listens: the connection is refused.
    const int closed = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(0x7F00003D); // 127.0.0.61
    socklen_t length = sizeof at;
    ASSERT_EQ(bind(closed, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    getsockname(closed, reinterpret_cast<sockaddr*>(&at), &length);
    const Ran noDaemon =
        backend({"1", "bob", "t", "1", ""}, "varnotek://0000B4550004/LPT1", "X", ntohs(at.sin_port));
    close(closed);
    EXPECT_EQ(noDaemon.status, CUPS_BACKEND_RETRY);
    EXPECT_PRED2(has, noDaemon.err, "ERROR: no connection to 127.0.0.61");

    const Ran noBox = backend({"1", "bob", "t", "1", ""}, "varnotek://0000B4550099/LPT1", "X");
    EXPECT_EQ(noBox.status, CUPS_BACKEND_RETRY);
    EXPECT_PRED2(has, noBox.err, "ERROR: The print server 00:00:B4:55:00:99 does not answer");

    const Ran badUri = backend({"1", "bob", "t", "1", ""}, "varnotek://0000B4550004/LPT4", "X");
    EXPECT_EQ(badUri.status, CUPS_BACKEND_FAILED);
    EXPECT_PRED2(has, badUri.err, "ERROR: The device URI");
}

// A daemon that takes the connection and never answers: the wait for its
// acknowledgement ends, the job is worth sending again; a cancel ends it sooner.
TEST(LpdClient, EveryWaitEnds) {
    const int daemon = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    ASSERT_EQ(bind(daemon, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(listen(daemon, 4), 0);
    getsockname(daemon, reinterpret_cast<sockaddr*>(&at), &length);
    const auto data = bytes("X");
    lpd::Job job{"LPT1", "host", "user", "title", "file", 1, data, 1};
    lpd::Timeouts quick;
    quick.acknowledgement = std::chrono::milliseconds(200);
    const lpd::Result silent = lpd::sendJob({"127.0.0.1", ntohs(at.sin_port)}, job, quick);
    EXPECT_EQ(silent.outcome, lpd::Outcome::TimedOut) << silent.reason;
    EXPECT_TRUE(silent.worthRetrying());
    std::atomic<bool> cancel{true};
    const lpd::Result cancelled = lpd::sendJob({"127.0.0.1", ntohs(at.sin_port)}, job, {}, &cancel);
    EXPECT_EQ(cancelled.outcome, lpd::Outcome::Cancelled);
    close(daemon);

    // A job read from a descriptor is bounded.
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    ASSERT_EQ(write(pipe[1], "0123456789A", 11), 11);
    close(pipe[1]);
    const lpd::ReadResult large = lpd::readAll(pipe[0], 10);
    EXPECT_TRUE(large.tooLarge);
    EXPECT_TRUE(large.bytes.empty());
    close(pipe[0]);
}

} // namespace
