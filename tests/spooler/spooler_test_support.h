// A state directory of the test's own, an environment variable set for one
// test, the bytes of a pserver.bin, and a stand-in for the suite's backend.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>

namespace vnk::testing {

class StateDir {
public:
    StateDir() {
        static int n = 0;
        m_path = (std::filesystem::temp_directory_path() /
                  ("vnk_spooler_" + std::to_string(::getpid()) + "_" + std::to_string(n++)))
                     .string();
        std::filesystem::create_directories(m_path + "/system");
    }
    ~StateDir() { std::filesystem::remove_all(m_path); }
    StateDir(const StateDir&) = delete;
    StateDir& operator=(const StateDir&) = delete;
    const std::string& path() const { return m_path; }
    void writePserver(const std::string& bytes) const {
        std::ofstream(m_path + "/system/pserver.bin", std::ios::binary) << bytes;
    }

private:
    std::string m_path;
};

class EnvVar {
public:
    EnvVar(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvVar() {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// An 81-byte pserver record: name, IP, number of parallel ports, port mask, MAC.
inline std::string pserverBytes(const std::string& name, std::array<std::uint8_t, 4> ip, std::uint8_t ports,
                                std::uint8_t mask,
                                std::array<std::uint8_t, 6> mac = {0x00, 0x00, 0xB4, 0x0A, 0x1B, 0x2C}) {
    std::string r(81, '\0');
    r.replace(0, std::min<std::size_t>(name.size(), 48), name.substr(0, 48));
    for (std::size_t i = 0; i < 4; ++i)
        r[48 + i] = char(ip[i]);
    r[69] = char(0x10 | ports); // the high bits of the port configuration are not the count
    for (std::size_t i = 0; i < 6; ++i)
        r[70 + i] = char(mac[i]);
    r[76] = 0; // type: TCP/IP
    r[77] = char(mask);
    r[78] = r[79] = r[80] = 2;
    return r;
}

// A stand-in for the suite's CUPS backend, written into dir, for
// TestCupsdOptions::backends: enough for cupsd to take queues of its scheme, not
// to print.
inline std::pair<std::string, std::string> standInBackend(const std::string& dir) {
    const std::string path = dir + "/varnotek";
    std::ofstream(path) << "#!/bin/sh\n# a stand-in for the suite's backend: it finds and prints nothing\nexit 1\n";
    ::chmod(path.c_str(), 0755);
    return {"varnotek", path};
}

} // namespace vnk::testing
