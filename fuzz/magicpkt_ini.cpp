// The batch Wake-on-LAN file MagicPkt.ini: its lines become (IP text, MAC text)
// targets, each MAC text a magic packet and each IP text a destination. Nothing
// is sent: only the reading of the file and of its texts runs.
#include "fuzz/fuzz_support.h"
#include "transport/wol/magic_packet.h"
#include "protocol/records.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vnk;
    if (size > wol::MaxMagicPktBytes)
        return 0; // batch mode does not read a file this large
    const std::string text(reinterpret_cast<const char*>(data), size);
    const wol::WolDestination loopback{"127.255.255.255", 6000};
    const wol::WolDestination real{"255.255.255.255", 6000};

    for (const auto& [ip, mac] : wol::magicPacketTargets(text)) {
        // A target comes from one line.
        if (ip.find('\n') != std::string::npos || mac.find('\n') != std::string::npos)
            std::abort();

        if (const auto packet = wol::magicPacket(mac)) {
            // Six bytes FF, then the address of the first twelve hex digits
            // sixteen times, as the MAC text parser reads those digits.
            const auto address = protocol::parseMac(mac.substr(0, 12));
            if (!address)
                std::abort();
            for (std::size_t i = 0; i < 6; ++i)
                if ((*packet)[i] != 0xFF)
                    std::abort();
            for (std::size_t k = 0; k < 16; ++k)
                if (std::memcmp(packet->data() + 6 + 6 * k, address->data(), 6) != 0)
                    std::abort();
        }

        // On a loopback LAN no destination may leave 127.0.0.0/8.
        if (const auto to = wol::magicPacketDestination(ip, loopback); to && (*to >> 24) != 127)
            std::abort();
        (void)wol::magicPacketDestination(ip, real);
    }
    return 0;
}
