#include "plugin/web/admin_site.h"

#include "plugin/core/admin.h"
#include "plugin/host/page_reading.h"

#include <netinet/in.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace vnk::plugin::web {

namespace {

using host::equalsIgnoringCase;

// An image or a page bigger than this is not served.
constexpr std::size_t MaxServedBytes = 16u << 20;

// What may be served from the folder, by extension: the pages and what they
// show. The folder also holds Config.ini, MagicPkt.ini and perhaps the
// registry, which are nobody's business over the network.
std::optional<std::string> contentTypeOf(std::string_view name) {
    static const std::pair<const char*, const char*> types[] = {
        {".htm", "text/html"},  {".html", "text/html"}, {".gif", "image/gif"},     {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"}, {".png", "image/png"},  {".ico", "image/x-icon"}, {".css", "text/css"},
    };
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    for (const auto& [extension, type] : types)
        if (equalsIgnoringCase(name.substr(dot), extension))
            return type;
    return std::nullopt;
}

Answer page(int status, const std::string& title, const std::string& text) {
    Answer a;
    a.status = status;
    a.body = "<HTML>\n<HEAD>\n<TITLE>" + title + "</TITLE>\n</HEAD>\n<BODY>\n<H3>" + title + "</H3>\n<P>" +
             htmlEscaped(text) + "</P>\n</BODY>\n</HTML>\n";
    return a;
}

// Message text as the plug-in's message boxes show it, line breaks kept.
std::string messageHtml(const std::string& text) {
    std::string html = "<P ID=\"message\" ROLE=\"alert\"><B>" + std::string(Caption) + ":</B> ";
    std::size_t from = 0;
    for (std::size_t nl; (nl = text.find('\n', from)) != std::string::npos; from = nl + 1)
        html += htmlEscaped(text.substr(from, nl - from)) + "<BR>";
    return html + htmlEscaped(text.substr(from)) + "</P>\n";
}

std::string hiddenFields(const std::string& token, const char* send) {
    return "<INPUT TYPE=\"hidden\" NAME=\"token\" VALUE=\"" + token + "\">\n<INPUT TYPE=\"hidden\" NAME=\"send\" VALUE=\"" +
           send + "\">\n";
}

// The plug-in's form: the IP box above the Ethernet address box, Send beside
// it; both boxes show and send their letters in upper case.
std::string magicForm(const std::string& action, const std::string& token, const std::string& ip,
                      const std::string& mac) {
    const auto box = [](const char* name, std::size_t limit, const std::string& value, const char* label) {
        return "<INPUT TYPE=\"text\" NAME=\"" + std::string(name) + "\" ID=\"" + name + "\" MAXLENGTH=" +
               std::to_string(limit) + " SIZE=" + std::to_string(limit + 2) + " VALUE=\"" + htmlEscaped(value) +
               "\" ARIA-LABEL=\"" + label +
               "\" AUTOCOMPLETE=\"off\" SPELLCHECK=\"false\" STYLE=\"text-transform:uppercase\">";
    };
    return "<FORM METHOD=\"POST\" ACTION=\"" + htmlEscaped(action) + "\">\n" + hiddenFields(token, "magic") +
           "<TABLE BORDER=0>\n<TR><TD>" + box("ip", IpBoxLimit, ip, "IP address") + "</TD><TD></TD></TR>\n<TR><TD>" +
           box("mac", MacBoxLimit, mac, "Ethernet address") +
           "</TD><TD><INPUT TYPE=\"submit\" ID=\"send\" VALUE=\"Send\"></TD></TR>\n</TABLE>\n</FORM>\n";
}

const char* outcomeText(wol::WakeResult r) {
    switch (r) {
    case wol::WakeResult::Sent: return "sent";
    case wol::WakeResult::Refused: return "refused: outside 127.0.0.0/8 while testing on loopback";
    case wol::WakeResult::InvalidMac: return "refused: not an Ethernet address";
    case wol::WakeResult::SocketFailed: return "not sent: no socket";
    case wol::WakeResult::SendFailed: break;
    }
    return "not sent";
}

// The PCs of MagicPkt.ini, with what became of each once sent; a Send button
// while nothing was sent.
std::string batchHtml(const std::string& action, const std::string& token, const BatchRun& run, bool sent) {
    if (run.file == BatchRun::File::Missing)
        return "<P ID=\"batch\">There is no MagicPkt.ini in the administration folder.</P>\n";
    if (run.file == BatchRun::File::TooLarge)
        return "<P ID=\"batch\">MagicPkt.ini is larger than " + std::to_string(wol::MaxMagicPktBytes >> 20) +
               " MB and is not read.</P>\n";
    if (run.targets.empty())
        return "<P ID=\"batch\">MagicPkt.ini names no PC.</P>\n";
    std::string html = "<TABLE ID=\"batch\" BORDER=1>\n<TR><TH>IP address</TH><TH>Ethernet address</TH>";
    html += sent ? "<TH>Magic packet</TH></TR>\n" : "</TR>\n";
    int count = 0;
    for (const BatchTarget& t : run.targets) {
        html += "<TR><TD>" + htmlEscaped(t.ipText.empty() ? "(broadcast)" : t.ipText) + "</TD><TD>" +
                htmlEscaped(t.macText) + "</TD>";
        if (sent)
            html += std::string("<TD>") + outcomeText(t.result) + "</TD>";
        html += "</TR>\n";
        count += t.result == wol::WakeResult::Sent;
    }
    html += "</TABLE>\n";
    if (sent)
        return html + "<P ID=\"summary\">" + std::to_string(count) + " of " + std::to_string(run.targets.size()) +
               " sent.</P>\n";
    return html + "<FORM METHOD=\"POST\" ACTION=\"" + htmlEscaped(action) + "\">\n" + hiddenFields(token, "batch") +
           "<INPUT TYPE=\"submit\" ID=\"send\" VALUE=\"Send\">\n</FORM>\n";
}

// Socket failures and refusals, kept for the page that answers the post.
class Collected final : public platform::ErrorReporter {
public:
    void report(const std::string& text) override {
        std::fprintf(stderr, "npkova-web: %s\n", text.c_str());
        lines.push_back(text);
    }
    std::vector<std::string> lines;
};

bool sameToken(const std::string& a, const std::string& b) {
    unsigned char differ = a.size() != b.size();
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        differ |= static_cast<unsigned char>(a[i] ^ b[i]);
    return differ == 0 && !b.empty();
}

} // namespace

std::optional<std::pair<std::string, std::uint16_t>> parseListenAddress(std::string_view text) {
    std::string address = "127.0.0.1";
    const std::size_t colon = text.rfind(':');
    if (colon != std::string_view::npos) {
        address = std::string(text.substr(0, colon));
        if (!platform::parseIPv4(address))
            return std::nullopt;
        text.remove_prefix(colon + 1);
    }
    const auto port = platform::parsePort(std::string(text));
    if (!port || *port == 0)
        return std::nullopt;
    return std::make_pair(address, *port);
}

AdminSite::AdminSite(SiteOptions options) : m_options(std::move(options)) {}

bool AdminSite::hostAllowed(std::string_view hostHeader) const {
    std::string_view name = hostHeader;
    std::uint16_t port = 80;
    if (const std::size_t colon = hostHeader.rfind(':'); colon != std::string_view::npos) {
        const auto p = platform::parsePort(std::string(hostHeader.substr(colon + 1)));
        if (!p)
            return false;
        port = *p;
        name = hostHeader.substr(0, colon);
    }
    if (port != m_options.port || name.empty())
        return false;
    const std::uint32_t listened = platform::parseIPv4(m_options.address).value_or(0);
    const bool anyAddress = listened == INADDR_ANY;
    if (equalsIgnoringCase(name, "localhost"))
        return anyAddress || (listened >> 24) == 127;
    const auto named = platform::parseIPv4(std::string(name));
    return named && (anyAddress || *named == listened);
}

int AdminSite::searchesRun() const {
    std::lock_guard lock(m_mutex);
    return m_searches;
}

DevicePages AdminSite::search() {
    std::unique_lock lock(m_mutex);
    if (m_searching) {
        // One search at a time: a second browser gets the pages of the running one.
        const int seen = m_searches;
        m_searchDone.wait(lock, [&] { return m_searches != seen; });
        return *m_pages;
    }
    m_searching = true;
    lock.unlock();

    const auto start = std::chrono::steady_clock::now();
    std::vector<DeviceEntry> list;
    Collected reporter;
    XGetTorvikPort(list, m_options.endpoint, m_options.timing, m_options.folder, true, reporter);
    DevicePages made = deviceListPages(list, vendorIdOf(m_options.folder));
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "npkova-web: search: %zu found in %lld ms\n", list.size(), static_cast<long long>(ms));

    lock.lock();
    m_pages = std::move(made);
    m_searching = false;
    ++m_searches;
    m_searchDone.notify_all();
    return *m_pages;
}

Answer AdminSite::answer(const Request& request) {
    if (!hostAllowed(request.host))
        return page(421, "Misdirected Request",
                    "This server answers only to http://" + m_options.address + ":" + std::to_string(m_options.port) +
                        "/ (the Host of the request was \"" + request.host + "\").");
    if (request.method != "GET" && request.method != "POST")
        return page(405, "Method Not Allowed", "Pages are read with GET and forms sent with POST.");
    if (request.path == "/") {
        Answer a = page(302, "Found", "The administration pages start at wbem.htm.");
        a.location = "/wbem.htm";
        return a;
    }
    const std::string name = request.path.empty() ? std::string() : request.path.substr(1);
    if (request.path.empty() || request.path.front() != '/' || name.empty() || name.front() == '.' ||
        name.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos)
        return page(403, "Forbidden", "Only the files of the administration folder are served.");

    if (equalsIgnoringCase(name, "WBEMLIST.htm") || equalsIgnoringCase(name, "WBEMMAIN.htm")) {
        if (request.method != "GET")
            return page(405, "Method Not Allowed", name + " is read with GET.");
        std::optional<DevicePages> pages;
        {
            std::lock_guard lock(m_mutex);
            pages = m_pages;
        }
        if (!pages)
            pages = search();
        Answer a;
        a.body = equalsIgnoringCase(name, "WBEMLIST.htm") ? pages->list : pages->frames;
        return a;
    }

    const auto type = contentTypeOf(name);
    const auto resolved = host::resolveLocal(m_options.folder, name);
    std::error_code error;
    const auto file = resolved ? std::filesystem::canonical(*resolved, error) : std::filesystem::path();
    if (!type || !resolved || error || !std::filesystem::is_regular_file(file, error))
        return page(404, "Not Found", name + " is not one of the administration pages.");
    if (file.string().rfind(m_options.folder + "/", 0) != 0)
        return page(403, "Forbidden", "Only the files of the administration folder are served.");
    if (*type == "text/html")
        return servePage(request, file.string(), name);
    if (request.method != "GET")
        return page(405, "Method Not Allowed", name + " is read with GET.");
    const auto bytes = host::readPage(file.string(), MaxServedBytes);
    if (!bytes)
        return page(404, "Not Found", name + " cannot be read.");
    Answer a;
    a.contentType = *type;
    a.body = *bytes;
    return a;
}

Answer AdminSite::servePage(const Request& request, const std::string& file, const std::string& name) {
    auto text = host::readPage(file, host::MaxPageBytes);
    if (!text)
        return page(404, "Not Found", name + " cannot be read.");
    std::vector<host::HtmlTag> embeds;
    for (host::HtmlTag& tag : host::findTags(*text, "embed"))
        if (equalsIgnoringCase(tag.attribute("type").value_or(""), EmbedType))
            embeds.push_back(std::move(tag));
    const auto modeOf = [](const host::HtmlTag& tag) { return instanceFlagsOf(tag.attributes).mode(); };
    const bool searches = std::any_of(embeds.begin(), embeds.end(),
                                      [&](const host::HtmlTag& t) { return modeOf(t) == Mode::DeviceList; });
    if (request.method == "POST" && (embeds.empty() || searches))
        return page(405, "Method Not Allowed", name + " is read with GET.");
    if (searches) {
        // The plug-in searches, writes the pages and sends the browser to the
        // frame page: here the frame page is the answer.
        Answer a;
        a.body = search().frames;
        return a;
    }

    std::string posted;
    if (request.method == "POST") {
        const auto token = request.form.find("token");
        if (token == request.form.end() || !sameToken(token->second, m_options.token))
            return page(403, "Forbidden",
                        "This form was not sent from the page this server gave out since it started. Open " + name +
                            " again and send it from there.");
        const auto send = request.form.find("send");
        posted = send == request.form.end() ? std::string() : send->second;
        const Mode wanted = posted == "batch" ? Mode::Batch : Mode::MagicPacketForm;
        if (std::none_of(embeds.begin(), embeds.end(), [&](const host::HtmlTag& t) { return modeOf(t) == wanted; }))
            return page(400, "Bad Request", name + " has no such form.");
    }

    // Every embed becomes its form, from the last so that the places of the
    // earlier ones stay; the one the post was for shows what came of it.
    bool answered = false;
    std::vector<std::string> parts(embeds.size());
    for (std::size_t i = 0; i < embeds.size(); ++i) {
        const bool batch = modeOf(embeds[i]) == Mode::Batch;
        const bool forThis = !answered && !posted.empty() && (posted == "batch") == batch;
        answered = answered || forThis;
        if (batch) {
            if (!forThis) {
                parts[i] = batchHtml(name, m_options.token, batchTargetsIn(m_options.folder), false);
                continue;
            }
            Collected reporter;
            std::lock_guard sending(m_sending);
            const BatchRun run = batchSendIn(m_options.folder, m_options.wol, m_options.timing, reporter);
            parts[i] = batchHtml(name, m_options.token, run, true);
            for (const std::string& line : reporter.lines)
                parts[i] += messageHtml(line);
            continue;
        }
        if (!forThis) {
            parts[i] = magicForm(name, m_options.token, DefaultIpText, lastSentMac(m_options.stateDir).value_or(""));
            continue;
        }
        const auto field = [&](const char* key, std::size_t limit) {
            const auto it = request.form.find(key);
            return formBoxText(it == request.form.end() ? std::string() : it->second, limit);
        };
        const std::string ip = field("ip", IpBoxLimit), mac = field("mac", MacBoxLimit);
        Collected reporter;
        wol::WakeResult result;
        {
            std::lock_guard sending(m_sending);
            result = sendFromForm(ip, mac, m_options.wol, m_options.timing, reporter, m_options.stateDir);
        }
        if (result == wol::WakeResult::Sent)
            parts[i] = messageHtml(SentText);
        else if (result == wol::WakeResult::InvalidMac)
            parts[i] = messageHtml(wol::InvalidEthernetIdText);
        for (const std::string& line : reporter.lines)
            parts[i] += messageHtml(line);
        if (parts[i].empty())
            parts[i] = messageHtml("The magic packets were not sent.");
        parts[i] += magicForm(name, m_options.token, ip, mac);
    }
    for (std::size_t i = embeds.size(); i-- > 0;)
        text->replace(embeds[i].begin, embeds[i].end - embeds[i].begin, parts[i]);
    Answer a;
    a.body = std::move(*text);
    return a;
}

} // namespace vnk::plugin::web
