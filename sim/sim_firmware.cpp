#include "sim/sim_firmware.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

namespace vnk::sim {

namespace {
constexpr std::size_t BlockSize = 1024;
// The header in front of the block number: 10 bytes over UDP, 4 over IPX.
constexpr std::size_t IpxHeaderSize = 4;
std::size_t headerSize(Framing f) {
    return f == Framing::Udp ? protocol::HeaderSize : IpxHeaderSize;
}
constexpr int EndMarker = 449;
constexpr int AddressBlock = 448;
constexpr int MaxBlock = 512; // the last block inside one image
constexpr std::size_t ImageSize = 524288;
} // namespace

void FirmwareReceiver::start(const FirmwarePlan& plan, Clock::time_point now, Framing framing, double repeatChance) {
    m_plan = plan;
    m_repeatChance = repeatChance;
    m_random.seed(plan.seed + 1);
    m_framing = framing;
    m_sequence.clear();
    if (!plan.script.empty()) {
        m_sequence = plan.script;
    } else {
        for (int n = 1; n <= plan.blocks; ++n)
            m_sequence.push_back(n);
        std::mt19937 random(plan.seed);
        if (plan.order == FirmwarePlan::Order::Shuffled)
            std::shuffle(m_sequence.begin(), m_sequence.end(), random);
        else if (plan.order == FirmwarePlan::Order::Reverse)
            std::reverse(m_sequence.begin(), m_sequence.end());
        for (int r = 0; r < plan.repeats && !m_sequence.empty(); ++r) {
            std::uniform_int_distribution<std::size_t> from(0, m_sequence.size() - 1);
            const std::size_t j = from(random);
            std::uniform_int_distribution<std::size_t> to(j + 1, m_sequence.size());
            const int again = m_sequence[j];
            m_sequence.insert(m_sequence.begin() + std::ptrdiff_t(to(random)), again);
        }
    }
    int highest = 0;
    for (int n : m_sequence)
        if (n >= 1 && n <= MaxBlock)
            highest = std::max(highest, n);
    m_image.assign(std::size_t(highest) * BlockSize, 0);
    m_have.assign(std::size_t(highest) + 1, false);
    m_position = 0;
    m_waitingFor = -1;
    m_askAt = now;
    m_retriesLeft = 0;
    m_stats.transfersStarted++;
    m_stats.gaveUp = false;
    m_stats.order.clear();
    m_state = State::Asking;
    if (m_sequence.empty())
        finishOrder(now);
}

bool FirmwareReceiver::received(int block) const {
    return block >= 1 && std::size_t(block) < m_have.size() && m_have[std::size_t(block)];
}

std::vector<std::uint16_t> FirmwareReceiver::due(Clock::time_point now, int stopAfter) {
    if (!active() || !m_askAt || now < *m_askAt)
        return {};
    if (m_waitingFor < 0) {
        if (m_state == State::Asking && stopAfter >= 0 && int(m_stats.order.size()) >= stopAfter) {
            m_state = State::Abandoned; // told to stop asking
            m_stats.gaveUp = true;
            return {};
        }
        m_waitingFor = m_state == State::AwaitingEnd ? EndMarker : m_sequence[m_position];
        m_retriesLeft = m_plan.retries;
        m_stats.order.push_back(m_waitingFor);
        m_stats.requestsSent++;
    } else {
        if (m_retriesLeft-- <= 0) {
            m_state = State::Abandoned;
            m_stats.gaveUp = true;
            return {};
        }
        m_stats.retriesSent++;
    }
    m_askAt = now + m_plan.retryAfter;
    return {std::uint16_t(m_waitingFor)};
}

void FirmwareReceiver::finishOrder(Clock::time_point now) {
    // The image is checked before the box asks for the end marker.
    if (m_plan.verifyCheckByte && received(AddressBlock)) {
        const std::span<const Byte> block(m_image.data() + std::size_t(AddressBlock - 1) * BlockSize, BlockSize);
        if (!blockChecks(block)) {
            m_stats.verifyFailures++;
            m_stats.gaveUp = true;
            m_state = State::Abandoned;
            return;
        }
    }
    m_state = State::AwaitingEnd;
    m_askAt = now + m_plan.pace;
}

bool FirmwareReceiver::receive(std::span<const Byte> d, const MacAddress& mac, Clock::time_point now,
                               Framing arrivedOver) {
    if (!active())
        return false;
    // Over UDP the header names the box by its Ethernet address; over IPX the
    // packet's node did that already. The rest of the header is the request's:
    // 0, command 7, FF, F8.
    const std::size_t h = headerSize(m_framing);
    const std::size_t dir = h - 4;
    const bool headerOk = arrivedOver == m_framing && d.size() >= h + 2 &&
                          (m_framing == Framing::Ipx || std::equal(mac.begin(), mac.end(), d.begin())) &&
                          d[dir] == 0 && d[dir + 1] == protocol::CmdFirmware && d[dir + 2] == 0xFF &&
                          d[dir + 3] == Byte(0xFF - protocol::CmdFirmware);
    if (!headerOk || m_waitingFor < 0) {
        m_stats.badDatagrams++;
        return false;
    }
    const int number = protocol::getLE16(d, h);
    if (m_state == State::AwaitingEnd) {
        if (d.size() == h + 2 && number == 0xFFFF) {
            m_state = State::Done;
            m_waitingFor = -1;
            m_stats.transfersCompleted++;
            return true;
        }
        m_stats.badDatagrams++;
        return false;
    }
    if (d.size() != h + 2 + BlockSize || number != m_waitingFor) {
        m_stats.badDatagrams++;
        return false;
    }
    const std::span<const Byte> block = d.subspan(h + 2, BlockSize);
    const bool firstCopy = !received(number);
    if (!firstCopy) {
        m_stats.repeatsChecked++;
        if (!std::equal(block.begin(), block.end(), m_image.begin() + std::ptrdiff_t(number - 1) * 1024))
            m_stats.repeatMismatches++;
    } else if (number >= 1 && std::size_t(number) < m_have.size()) {
        std::memcpy(m_image.data() + std::size_t(number - 1) * BlockSize, block.data(), BlockSize);
        m_have[std::size_t(number)] = true;
    }
    m_stats.blocksReceived++;
    m_waitingFor = -1;
    if (firstCopy && m_repeatChance > 0 &&
        std::uniform_real_distribution<double>(0, 1)(m_random) < m_repeatChance) {
        // Asks next for a block it has already, any one of them.
        std::vector<int> have;
        for (std::size_t n = 1; n < m_have.size(); ++n)
            if (m_have[n])
                have.push_back(int(n));
        if (!have.empty()) {
            const int again = have[std::uniform_int_distribution<std::size_t>(0, have.size() - 1)(m_random)];
            m_sequence.insert(m_sequence.begin() + std::ptrdiff_t(m_position + 1), again);
        }
    }
    if (++m_position >= m_sequence.size())
        finishOrder(now);
    else
        m_askAt = now + m_plan.pace;
    return false;
}

// ------------------------------------------------------------------ test images

std::vector<Byte> makeFirmwareImage(const std::string& modelDigits, std::uint16_t protocolMask, Byte seed) {
    std::vector<Byte> image(ImageSize);
    for (std::size_t i = 0; i < image.size(); ++i) {
        std::uint32_t x = std::uint32_t(i) * 2654435761u + std::uint32_t(seed) * 40503u;
        x ^= x >> 15;
        image[i] = Byte(x >> 8);
    }
    std::memcpy(&image[6], "Torvik", 6);
    for (std::size_t i = 0; i < 2; ++i)
        image[14 + i] = i < modelDigits.size() ? Byte(modelDigits[i]) : Byte('0');
    std::memcpy(&image[17], "MTYPE", 5);
    protocol::putLE16(image, 22, protocolMask);
    Byte* block = &image[std::size_t(AddressBlock - 1) * BlockSize];
    std::memset(block + 1016, 0, 6);
    Byte x = 0;
    for (std::size_t i = 0; i < BlockSize - 1; ++i)
        x ^= block[i];
    block[BlockSize - 1] = x;
    return image;
}

std::optional<std::string> firmwareModelDigits(const std::string& modelCode) {
    int base = 10;
    std::size_t start = 0;
    if (modelCode.size() > 2 && modelCode[0] == '0' && (modelCode[1] == 'x' || modelCode[1] == 'X'))
        base = 16, start = 2;
    unsigned value = 0;
    const char* first = modelCode.data() + start;
    const char* last = modelCode.data() + modelCode.size();
    const auto [end, ec] = std::from_chars(first, last, value, base);
    if (first == last || ec != std::errc() || end != last || value > 255)
        return std::nullopt;
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", value);
    return std::string(digits);
}

bool blockChecks(std::span<const Byte> block) {
    Byte x = 0;
    for (Byte b : block)
        x ^= b;
    return x == 0;
}

bool writeFile(const std::string& path, std::span<const Byte> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

} // namespace vnk::sim
