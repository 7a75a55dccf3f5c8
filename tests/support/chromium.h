// Headless Chromium, driven over its DevTools pipe: one tab that opens pages and
// evaluates JavaScript in them. Nothing leaves the machine: every connection
// but those to loopback goes to a closed proxy and no name resolves.
#pragma once

#include <nlohmann/json.hpp>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace vnk::testing {

inline std::string chromiumProgram() {
    for (const char* c : {"/usr/bin/chromium", "/usr/bin/chromium-browser", "/usr/bin/google-chrome"})
        if (::access(c, X_OK) == 0)
            return c;
    return {};
}

// Chromium refuses to run as root inside its sandbox, hence --no-sandbox.
inline std::string chromiumFlags(const std::string& profile) {
    return " --headless --no-sandbox --disable-gpu --no-first-run --disable-extensions"
           " --disable-background-networking --disable-component-update --disable-sync"
           " --proxy-server=127.0.0.1:9 --host-resolver-rules='MAP * ~NOTFOUND, EXCLUDE 127.0.0.1' --user-data-dir=" +
           profile;
}

class HeadlessChromium {
public:
    explicit HeadlessChromium(const std::string& profile) {
        int toBrowser[2], fromBrowser[2];
        if (chromiumProgram().empty() || ::pipe(toBrowser) != 0 || ::pipe(fromBrowser) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            // The browser reads commands on descriptor 3 and answers on 4.
            ::dup2(toBrowser[0], 3);
            ::dup2(fromBrowser[1], 4);
            const std::string command = "exec " + chromiumProgram() + chromiumFlags(profile) +
                                        " --remote-debugging-pipe about:blank >/dev/null 2>&1";
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(toBrowser[0]);
        ::close(fromBrowser[1]);
        m_in = toBrowser[1];
        m_out = fromBrowser[0];
        const auto target = call("Target.createTarget", {{"url", "about:blank"}});
        if (target.contains("targetId"))
            m_session = call("Target.attachToTarget", {{"targetId", target["targetId"]}, {"flatten", true}})
                            .value("sessionId", "");
    }
    ~HeadlessChromium() {
        if (m_pid <= 0)
            return;
        call("Browser.close", nlohmann::json::object(), false);
        ::close(m_in);
        ::close(m_out);
        for (int i = 0; i < 50 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    bool running() const { return !m_session.empty(); }

    void open(const std::string& url) { call("Page.navigate", {{"url", url}}, true); }
    // The value of expression in the tab (a promise is awaited); null when it threw.
    nlohmann::json evaluate(const std::string& expression) {
        const auto r = call("Runtime.evaluate", {{"expression", expression}, {"awaitPromise", true},
                                                 {"returnByValue", true}}, true);
        if (r.contains("exceptionDetails") || !r.contains("result"))
            return nullptr;
        return r["result"].value("value", nlohmann::json());
    }
    // expression's value once it is a non-empty string (pages load meanwhile);
    // empty when it is not one within timeout.
    std::string waitFor(const std::string& expression, std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            const auto v = evaluate("(() => { try { return " + expression + "; } catch (e) { return ''; } })()");
            if (v.is_string() && !v.get<std::string>().empty())
                return v.get<std::string>();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return {};
    }

private:
    nlohmann::json call(const std::string& method, const nlohmann::json& params, bool inTab = false) {
        nlohmann::json message = {{"id", ++m_id}, {"method", method}, {"params", params}};
        if (inTab)
            message["sessionId"] = m_session;
        const std::string text = message.dump() + '\0';
        if (::write(m_in, text.data(), text.size()) != ssize_t(text.size()))
            return {};
        // Events come in between; the answer carries the command's id.
        for (;;) {
            std::size_t end;
            while ((end = m_buffer.find('\0')) == std::string::npos) {
                pollfd p{m_out, POLLIN, 0};
                char chunk[65536];
                ssize_t n;
                if (::poll(&p, 1, 20000) <= 0 || (n = ::read(m_out, chunk, sizeof chunk)) <= 0)
                    return {};
                m_buffer.append(chunk, std::size_t(n));
            }
            const auto answer = nlohmann::json::parse(m_buffer.substr(0, end), nullptr, false);
            m_buffer.erase(0, end + 1);
            if (answer.is_object() && answer.value("id", 0) == m_id)
                return answer.value("result", nlohmann::json::object());
        }
    }

    pid_t m_pid = -1;
    int m_in = -1, m_out = -1, m_id = 0;
    std::string m_session, m_buffer;
};

} // namespace vnk::testing
