// What the fuzz targets share: the input as a file for readers that take a path,
// and a cursor that splits one input into several datagrams or fields.
#pragma once

#include "platform/error_reporter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace vnk::fuzz {

// This process's own temporary folder, removed when the process ends.
inline const std::string& tempFolder() {
    // Never destroyed: the exit handler below runs after the statics are gone.
    static const std::string& folder = *new const std::string([] {
        const char* tmp = std::getenv("TMPDIR");
        std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/vnk-fuzz-" + std::to_string(::getpid());
        (void)::mkdir(dir.c_str(), 0700);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(tempFolder(), ignored);
        });
        return dir;
    }());
    return folder;
}

// A file in that folder holding exactly the input, for readers that take a path;
// it is rewritten for every input.
inline std::string inputFile(const std::uint8_t* data, std::size_t size, const char* suffix = ".bin") {
    std::string path = tempFolder() + "/input" + suffix;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
    return path;
}

// A property every input must keep: a broken one is a finding.
inline void check(bool condition) {
    if (!condition)
        std::abort();
}

// Socket failure texts are not what a target looks at.
class QuietReporter final : public platform::ErrorReporter {
public:
    void report(const std::string&) override {}
};

// Splits an input into pieces: take(n) gives the next n bytes (fewer at the end),
// piece() a piece whose length is the next byte.
class Cursor {
public:
    Cursor(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool empty() const { return m_pos >= m_size; }
    std::uint8_t byte() { return empty() ? 0 : m_data[m_pos++]; }
    // Low byte first. The two reads are sequenced: in one expression their order
    // would be up to the compiler, and a seed could read differently per build.
    std::uint16_t word() {
        const std::uint16_t low = byte();
        return std::uint16_t(low | byte() << 8);
    }
    std::span<const std::uint8_t> take(std::size_t n) {
        n = std::min(n, m_size - m_pos);
        std::span<const std::uint8_t> s(m_data + m_pos, n);
        m_pos += n;
        return s;
    }
    std::span<const std::uint8_t> piece() { return take(byte()); }
    std::span<const std::uint8_t> rest() { return take(m_size - m_pos); }
    std::string_view restText() {
        auto s = rest();
        return {reinterpret_cast<const char*>(s.data()), s.size()};
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

} // namespace vnk::fuzz
