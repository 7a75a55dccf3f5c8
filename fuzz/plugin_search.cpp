// The administration plug-in's device search, datagram by datagram (only a
// datagram of exactly 76 bytes is a reply; no other is kept or joined), and the
// list and frame pages it writes from the devices found.
//
// Input: byte 0 bit 0 says whether the administration directory was found in
// the registry (else only print servers are listed), bit 1 whether the pages
// are written, bits 2-4 which device types the pages meet besides print
// servers. Then datagrams, each a length byte and its bytes: 255 is a
// receive that failed, a length over 76 a datagram that did not fit.
#include "fuzz/fuzz_support.h"
#include "platform/udp_socket.h"
#include "plugin/core/device_search.h"

#include <cstring>
#include <fstream>
#include <sstream>

namespace {

using vnk::fuzz::check;
using vnk::fuzz::QuietReporter;

using namespace vnk;
using namespace vnk::plugin;
using protocol::Byte;

const char* nameOf(const DeviceEntry& e) {
    return reinterpret_cast<const char*>(e.identity.data() + protocol::identity::ServerName);
}

std::string contents(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

// The pages in the run's own temporary folder, where the input file lies too.
void writePages(const std::vector<DeviceEntry>& list, const std::string& folder) {
    QuietReporter reporter;
    writeDevicePages(list, folder, true, reporter);
    const std::string page = contents(folder + "/WBEMLIST.htm");
    std::size_t listed = 0;
    for (const DeviceEntry& e : list)
        listed += e.identity[protocol::identity::DeviceType] <= 1;
    check(count(page, "<TR>\n<TD>") == listed);
    // A name from the network is text on the page, never markup.
    const std::string before = "TARGET=\"body\">", after = "</FONT></FONT></TD>\n</TR>\n";
    for (std::size_t at = page.find("<A HREF=\"HTTP://"); at != std::string::npos;
         at = page.find("<A HREF=\"HTTP://", at + 1)) {
        const std::size_t start = page.find(before, at);
        check(start != std::string::npos);
        const std::size_t end = page.find(after, start);
        check(end != std::string::npos);
        const std::string name = page.substr(start + before.size(), end - start - before.size());
        check(name.find_first_of("<>\"'") == std::string::npos);
    }
    const std::string frames = contents(folder + "/WBEMMAIN.htm");
    check(count(frames, "<frame NAME=\"body\" SRC=") == 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Cursor in(data, size);
    const Byte flags = in.byte();
    const bool keyFound = flags & 1;
    std::string folder = fuzz::inputFile(data, size);
    folder.erase(folder.rfind('/'));

    // No Config.ini lies in the folder: the filter then lists print servers only.
    std::vector<DeviceEntry> list;
    SearchReplies replies(list, folder, keyFound);
    int datagrams = 0;
    while (!in.empty()) {
        const Byte length = in.byte();
        const auto datagram = length == 0xFF ? std::span<const Byte>() : in.take(length);
        const sockaddr_in from = platform::makeAddress(0x7F000000u | Byte(++datagrams), 13364);
        const std::size_t before = list.size();
        const bool reply = replies.take(datagram, from);
        check(reply == (datagram.size() == SearchReplySize));
        check(list.size() == before || (reply && list.size() == before + 1));
        if (list.size() > before) {
            const DeviceEntry& e = list.back();
            check(e.identity[protocol::identity::Features] & 0x01);
            check(e.identity[protocol::identity::DeviceType] == 0);
            check(e.from.sin_addr.s_addr == from.sin_addr.s_addr);
        }
    }
    check(list.size() <= MaxDevices);
    for (std::size_t i = 0; i < list.size(); ++i)
        for (std::size_t j = i + 1; j < list.size(); ++j)
            check(std::strncmp(nameOf(list[i]), nameOf(list[j]), protocol::identity::ServerNameWidth) != 0);

    if (flags & 2) {
        // As a Config.ini that lets other device types in would have listed them.
        if (flags & 4)
            for (std::size_t i = 1; i < list.size(); i += 2)
                list[i].identity[protocol::identity::DeviceType] = Byte((flags >> 3) & 3);
        writePages(list, folder);
    }
    return 0;
}
