// How vnkctl answers: text lines as it goes or one JSON object at the end,
// failures on standard error, a spinner while the protocol waits.
#pragma once

#include "cli/record_view.h"
#include "platform/error_reporter.h"

#include <chrono>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace vnk::cli {

// Text output: key/value pairs aligned; values made safe for a terminal.
using Pairs = std::vector<std::pair<std::string, std::string>>;

void printPairs(std::ostream& out, const Pairs& pairs);

class StreamReporter final : public platform::ErrorReporter {
public:
    explicit StreamReporter(std::ostream& err) : m_err(err) {}
    void report(const std::string& text) override {
        ++m_reports;
        m_err << "vnkctl:" << text << "\n";
    }
    int reports() const { return m_reports; }

private:
    std::ostream& m_err;
    int m_reports = 0;
};

// A spinner on standard error while the protocol waits, on a terminal only.
class Progress {
public:
    Progress(std::ostream& err, bool terminal) : m_err(err), m_terminal(terminal) {}
    ~Progress() { done(); }
    void begin(const std::string& label) {
        done();
        m_label = label;
        m_active = true;
        tick();
    }
    void tick() {
        if (!m_terminal || !m_active)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last < std::chrono::milliseconds(100))
            return;
        m_last = now;
        static const char spin[] = "|/-\\";
        m_err << "\r" << m_label << " " << spin[m_step++ % 4] << std::flush;
    }
    void done() {
        if (m_terminal && m_active)
            m_err << "\r" << std::string(m_label.size() + 2, ' ') << "\r" << std::flush;
        m_active = false;
    }

private:
    std::ostream& m_err;
    bool m_terminal;
    bool m_active = false;
    std::string m_label;
    std::chrono::steady_clock::time_point m_last{};
    unsigned m_step = 0;
};

// What a command answers: text lines as it goes, or one JSON object at the end.
class Output {
public:
    Output(std::ostream& out, std::ostream& err, bool json) : m_out(out), m_err(err), m_json(json) {}
    bool json() const { return m_json; }
    // The text stream; in JSON mode text goes nowhere.
    std::ostream& text() { return m_json ? m_null : m_out; }
    Json& result() { return m_result; }
    void begin(const std::string& command) {
        m_result = Json::object();
        m_result["command"] = command;
        m_result["ok"] = true;
    }
    // A failure: the message on standard error, and in the result.
    int fail(int code, const std::string& message) {
        m_err << "vnkctl: " << message << "\n";
        m_result["ok"] = false;
        m_result["message"] = message;
        return code;
    }
    void note(const std::string& message) {
        m_err << "vnkctl: " << message << "\n";
        m_result["message"] = message;
    }
    void finish() {
        if (m_json)
            m_out << m_result.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
    }

private:
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_json;
    std::ostringstream m_null;
    Json m_result = Json::object();
};

// ASCII letters in lower case, for names compared without regard to case.
std::string lowerAscii(std::string s);

} // namespace vnk::cli
