// Qt-free and GoogleTest-free helpers for tests against the simulated LAN: a
// reporter that keeps socket failure texts, a plain test box, a scratch folder.
// The GoogleTest fixture (sim_fixture.h) and the Qt page tests both use them.
#pragma once

#include "platform/error_reporter.h"
#include "protocol/records.h"
#include "sim/sim_box.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

namespace vnk::testing {

class RecordingReporter final : public platform::ErrorReporter {
public:
    void report(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

// A box built for tests: ports, capabilities and a name; everything else plain.
// edit, when given, changes the record before its checksum is set.
inline sim::BoxSpec testBox(const std::string& name, protocol::Byte lastMacByte, protocol::Byte ports = 0x01,
                            protocol::Byte caps = protocol::record::CapTcpIp,
                            const std::function<void(protocol::ConfigRecord&)>& edit = {}) {
    sim::BoxSpec b;
    b.label = name;
    b.mac = {0x00, 0x00, 0xB4, 0x55, 0x00, lastMacByte};
    b.deviceName = "TB0000" + std::string(1, char('A' + lastMacByte % 26)) + "X";
    sim::setHardware(b.record, b.mac, ports, caps, 0x15, 0x21, 0x62);
    sim::setText(b.record, protocol::record::AliasName, 16, name);
    b.record[protocol::record::OptionFlags] = protocol::record::OptTcpIp;
    b.record[protocol::record::MailPolling] = 1;
    b.restartDelay = std::chrono::milliseconds(150);
    if (edit)
        edit(b.record);
    protocol::setRecordChecksum(b.record);
    return b;
}

// A scratch folder that holds a Config.ini (or none) for the device filter.
class ScratchDir {
public:
    ScratchDir() {
        static int n = 0;
        m_path = (std::filesystem::temp_directory_path() /
                  ("vnk_test_" + std::to_string(::getpid()) + "_" + std::to_string(n++)))
                     .string();
        std::filesystem::create_directories(m_path);
    }
    ~ScratchDir() { std::filesystem::remove_all(m_path); }
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    void write(const std::string& name, const std::string& text) const { std::ofstream(file(name)) << text; }

private:
    std::string m_path;
};

} // namespace vnk::testing
