// The two pages the browser shows after a search: the list page, a navigator
// with a link to the web home page of each device found, and the frame page
// that puts it beside the home page of the first device.
#include "plugin/core/admin.h"

#include "platform/box_text.h"
#include "platform/inifile.h"

#include <arpa/inet.h>
#include <unicode/utf8.h>

#include <cstdio>
#include <cstdlib>

namespace vnk::plugin {

namespace {

struct Ip {
    int a, b, c, d;
};
Ip ipOf(const DeviceEntry& e) {
    const std::uint32_t ip = ntohl(e.from.sin_addr.s_addr);
    return {int(ip >> 24 & 0xFF), int(ip >> 16 & 0xFF), int(ip >> 8 & 0xFF), int(ip & 0xFF)};
}

std::uint8_t typeOf(const DeviceEntry& e) { return e.identity[protocol::identity::DeviceType]; }

// The index of the first entry of a device type, or -1.
int firstOfType(const std::vector<DeviceEntry>& list, std::uint8_t type) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (typeOf(list[i]) == type)
            return int(i);
    return -1;
}

void writeRows(std::FILE* f, const DeviceEntry& e) {
    const Ip ip = ipOf(e);
    const std::string name = htmlEscaped(protocol::serverName(e.identity));
    std::fputs("<TR>\n", f);
    std::fputs("<TD>", f);
    std::fprintf(f, "<A HREF=\"http://%d.%d.%d.%d\"", ip.a, ip.b, ip.c, ip.d);
    std::fputs("TARGET=\"body\"><IMG SRC=\"flashball.gif\"", f);
    std::fputs("BORDER=0 HEIGHT=14 WIDTH=14 ALIGN=LEFT></A>\n", f);
    std::fprintf(f,
                 "<FONT COLOR=\"#0000FF\"><FONT SIZE=+1><A HREF=\"HTTP://%d.%d.%d.%d\" "
                 "TARGET=\"body\">%s</FONT></FONT></TD>\n",
                 ip.a, ip.b, ip.c, ip.d, name.c_str());
    std::fputs("</TR>\n", f);
}

// What a page writer puts into a memory stream.
template <class Write> std::string rendered(Write write) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* f = ::open_memstream(&buffer, &size);
    if (!f)
        return {};
    write(f);
    std::fclose(f);
    std::string text(buffer ? buffer : "", size);
    std::free(buffer);
    return text;
}

// Writes a page whole; false when any of it was lost.
bool writeWhole(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::ferror(f) == 0;
    return std::fclose(f) == 0 && written;
}

void writeListPage(std::FILE* f, const std::vector<DeviceEntry>& list, int vendorId) {
    const bool hasServer = firstOfType(list, 0) >= 0;
    const bool hasPc = firstOfType(list, 1) >= 0;

    std::fputs("<HTML>\n", f);
    std::fputs("<HEAD>\n", f);
    std::fputs("<TITLE>WBEM List</TITLE>\n", f);
    std::fputs("</HEAD>\n", f);
    std::fputs("<BODY TEXT=\"#FFFFFF\" BGCOLOR=\"#ffffff\" LINK=\"#0000EE\" VLINK=\"#551A8B\" "
               "ALINK=\"#FF0000\" BACKGROUND=\"backgrd.jpg\">\n",
               f);
    std::fputs("<BR><BR>\n", f);
    std::fputs("<CENTER><IMG SRC=\"logo.gif\" BORDER=0 HEIGHT=32 WIDTH=100></A></CENTER>\n ", f);
    std::fputs("<BR>\n", f);
    std::fputs("<CENTER><TABLE BORDER=0  WIDTH=200 >\n", f);
    std::fputs("<TR><TD ALIGN=LEFT WIDTH=200>\n", f);
    std::fputs("&nbsp;&nbsp; <B><I><FONT COLOR=\"#3366FF\"><A HREF=\"magic.htm\" TARGET=\"body\">Magic "
               "Packet</A></FONT></I></B>\n",
               f);
    std::fputs("</TD></TR>\n", f);
    std::fputs("<TR><TD ALIGN=LEFT WIDTH=200>\n", f);
    std::fputs("&nbsp;&nbsp; <B><I><FONT COLOR=\"#3366FF\"><A HREF=\"wbem.htm\" "
               "TARGET=\"_top\">Refresh</A></FONT></I></B>\n",
               f);
    std::fputs("</TD></TR>\n </TABLE></CENTER>", f);
    std::fputs("\n<BR>", f);
    std::fprintf(f, "<CENTER><TABLE BORDER=0  HEIGHT=\"20%%\" >\n");
    if (hasServer) {
        std::fputs("<TR ALIGN=LEFT><TD>\n", f);
        if (vendorId == 1)
            std::fputs("<B><I><FONT COLOR=\"#000000\" SIZE=+1>Varnotek:</FONT></I></B></CENTER>\n", f);
        else if (vendorId == 2)
            std::fputs("<B><I><FONT COLOR=\"#000000\" SIZE=+1>PrintServer:</FONT></I></B></CENTER>\n", f);
        else
            std::fputs("<B><I><FONT COLOR=\"#000000\" SIZE=+1>Print&nbsp;&nbsp;Server:</FONT></I></B></CENTER>\n",
                       f);
        std::fputs("</TD></TR>", f);
        for (const DeviceEntry& e : list)
            if (typeOf(e) == 0)
                writeRows(f, e);
        std::fputs("<TR><TD><BR><BR></TD></TR>\n", f);
    }
    if (hasPc) {
        std::fputs("<TR ALIGN=LEFT><TD>\n", f);
        std::fputs("<B><I><FONT COLOR=\"#000000\" SIZE=+1>Networked&nbsp;&nbsp;PC:</FONT></I></B></CENTER>\n", f);
        std::fputs("</TD></TR>", f);
        for (const DeviceEntry& e : list)
            if (typeOf(e) == 1)
                writeRows(f, e);
    }
    std::fputs("</TABLE>\n", f);
    std::fputs("</CENTER>\n", f);
    std::fputs("<P>\n", f);
    std::fputs("</BODY>\n", f);
    std::fputs("</HTML>\n", f);
}

void writeFramePage(std::FILE* f, const std::vector<DeviceEntry>& list) {
    std::fputs("<html>\n", f);
    std::fputs("<head>\n", f);
    std::fputs("<title>Administrator</title>\n", f);
    std::fputs("</head>\n", f);
    std::fprintf(f, "<frameset COLS=\"16%%,*\">\n");
    std::fputs("<frame NAME=\"navigator\" SRC=\"WBEMLIST.htm\" SCROLLING=\"AUTO\" MARGINWIDTH=\"2\" "
               "MARGINMEIGHT=\"4\">\n",
               f);
    if (list.empty()) {
        std::fputs("<frame NAME=\"body\" SRC=\"nowbem.htm\" SCROLLING=\"AUTO\">\n", f);
    } else {
        // The body shows a print server when there is one, else a networked PC.
        int shown = firstOfType(list, 0);
        if (shown < 0)
            shown = firstOfType(list, 1);
        if (shown < 0)
            shown = 0;
        const Ip ip = ipOf(list[std::size_t(shown)]);
        std::fprintf(f, "<frame NAME=\"body\" SRC=\"http://%d.%d.%d.%d\" SCROLLING=\"AUTO\">\n", ip.a, ip.b, ip.c,
                     ip.d);
    }
    std::fputs("</frameset>\n", f);
    std::fputs("</html>\n", f);
}

} // namespace

// A name from the network goes into the page as text, never as markup. Its
// bytes are read as the box's texts are everywhere (UTF-8 when they are, else
// Windows-1252), and every character outside ASCII is written as a numeric
// character reference, so the page reads alike in any browser whatever
// encoding it assumes, and an ASCII name is written as it is.
std::string htmlEscaped(const std::string& bytes) {
    const std::string text = platform::decodeBoxText(bytes, platform::CodePage::Windows1252);
    std::string out;
    out.reserve(text.size());
    const auto* units = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = std::int32_t(text.size());
    for (std::int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(units, i, length, c);
        if (c < 0)
            c = 0xFFFD; // not reached: the decoded text is UTF-8
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c < 0x80 ? std::string(1, char(c)) : "&#" + std::to_string(c) + ";";
        }
    }
    return out;
}

DevicePages deviceListPages(const std::vector<DeviceEntry>& list, int vendorId) {
    DevicePages pages;
    pages.list = rendered([&](std::FILE* f) { writeListPage(f, list, vendorId); });
    pages.frames = rendered([&](std::FILE* f) { writeFramePage(f, list); });
    return pages;
}

int vendorIdOf(const std::string& adminDir) {
    return platform::profileInt(adminDir + "/Config.ini", "General Information", "VendorID", 0);
}

void writeDevicePages(const std::vector<DeviceEntry>& list, const std::string& adminDir, bool keyOpened,
                      platform::ErrorReporter& reporter) {
    if (!keyOpened)
        reporter.report(" Open Key fail");
    const DevicePages pages = deviceListPages(list, vendorIdOf(adminDir));
    if (!writeWhole(adminDir + "/WBEMLIST.htm", pages.list)) {
        reporter.report("Can not create WBEMLIST.HTM!\n");
        return;
    }
    if (!writeWhole(adminDir + "/WBEMMAIN.htm", pages.frames))
        reporter.report("Can not create WBEMMAIN.HTM!\n");
}

} // namespace vnk::plugin
