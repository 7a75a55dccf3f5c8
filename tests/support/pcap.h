// Carrier datagrams written to a pcap file (raw IPv4, hand-built IPv4 and UDP
// headers from 127.0.0.1 to 127.255.255.255), so that tshark, a decoder nobody
// here wrote, can read what our IPX, SAP and NCP code puts on the wire.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <thread>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace vnk::testing {

using PcapBytes = std::vector<std::uint8_t>;

inline void putLe32(std::ofstream& f, std::uint32_t v) {
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    f.write(b, 4);
}

// One carrier datagram as a raw IPv4 packet from 127.0.0.1 to 127.255.255.255.
inline PcapBytes ipv4Udp(const PcapBytes& payload, std::uint16_t port) {
    const auto total = std::uint16_t(20 + 8 + payload.size());
    const auto udpLength = std::uint16_t(8 + payload.size());
    std::array<std::uint8_t, 28> h = {
        0x45, 0x00, std::uint8_t(total >> 8), std::uint8_t(total), // version, length
        0x00, 0x01, 0x00, 0x00,                                    // id, fragment
        64, 17, 0x00, 0x00,                                        // TTL, UDP, checksum
        127, 0, 0, 1,                                              // source
        127, 255, 255, 255,                                        // destination
        std::uint8_t(port >> 8), std::uint8_t(port), std::uint8_t(port >> 8), std::uint8_t(port),
        std::uint8_t(udpLength >> 8), std::uint8_t(udpLength), 0x00, 0x00, // no UDP checksum
    };
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 20; i += 2)
        sum += std::uint32_t(h[i] << 8 | h[i + 1]);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    h[10] = std::uint8_t(~sum >> 8);
    h[11] = std::uint8_t(~sum);
    PcapBytes packet(h.size() + payload.size());
    std::memcpy(packet.data(), h.data(), h.size());
    if (!payload.empty())
        std::memcpy(packet.data() + h.size(), payload.data(), payload.size());
    return packet;
}

inline void writePcap(const std::string& path, const std::vector<PcapBytes>& packets) {
    std::ofstream f(path, std::ios::binary);
    putLe32(f, 0xA1B2C3D4);
    const char version[4] = {2, 0, 4, 0};
    f.write(version, 4);
    putLe32(f, 0);     // time zone
    putLe32(f, 0);     // accuracy
    putLe32(f, 65535); // snap length
    putLe32(f, 101);   // raw IPv4
    std::uint32_t second = 1'000'000;
    for (const PcapBytes& p : packets) {
        putLe32(f, second++);
        putLe32(f, 0);
        putLe32(f, std::uint32_t(p.size()));
        putLe32(f, std::uint32_t(p.size()));
        f.write(reinterpret_cast<const char*>(p.data()), std::streamsize(p.size()));
    }
}

inline bool haveTshark() {
    return std::system("command -v tshark >/dev/null 2>&1") == 0;
}

inline std::vector<std::string> runLines(const std::string& command) {
    std::vector<std::string> lines;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return lines;
    std::string line;
    for (int c; (c = std::fgetc(p)) != EOF;) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(char(c));
        }
    }
    ::pclose(p);
    return lines;
}

// tshark capturing on loopback with a capture filter until stopped; no file
// when it cannot capture here.
class LiveCapture {
public:
    LiveCapture(const std::string& filter, std::string file) : m_file(std::move(file)) {
        if (!haveTshark())
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execlp("tshark", "tshark", "-q", "-i", "lo", "-f", filter.c_str(), "-w", m_file.c_str(),
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // tshark writes the file's header once it captures.
        for (int i = 0; i < 100 && !std::filesystem::exists(m_file); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    ~LiveCapture() { stop(); }
    // True when a capture file was written.
    bool stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGINT);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
        return std::filesystem::exists(m_file);
    }

private:
    std::string m_file;
    pid_t m_pid = -1;
};

} // namespace vnk::testing
