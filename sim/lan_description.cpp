// Reading a LAN description file: the file itself (refused when it is not one),
// its sections one by one, each a box, a PC or a NetWare file server, every
// mistake reported with its line, and the file servers' binderies once every box
// is known.
#include "sim/lan_description.h"

#include "platform/inifile.h"
#include "sim/lan_description_keys.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

namespace vnk::sim {

using namespace protocol;
using namespace description_keys;

// The parts of a record every box starts with before its description is applied.
BoxSpec baseBox(const std::string& label, const MacAddress& mac) {
    BoxSpec b;
    b.label = label;
    b.mac = mac;
    char dev[16];
    std::snprintf(dev, sizeof dev, "PS%02X%02X%02X", mac[3], mac[4], mac[5]);
    b.deviceName = dev;
    setHardware(b.record, mac, 0x01, record::CapTcpIp, 0x11, 0x21, 0x62);
    b.record[record::OptionFlags] = record::OptTcpIp;
    b.record[record::NetwarePolling] = 2;
    b.record[record::MailPolling] = 1;
    return b;
}

namespace {

// A LAN description longer than this is not one: it is refused before it is read.
constexpr std::size_t MaxDescriptionBytes = 1 << 20;

std::string macColons(const MacAddress& mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

// A node for the NET_ADDRESS of a box object that no box answers: one that no
// device of the LAN has, 00:00:B4:EE:EE:01 upwards, then down through
// 00:00:B4:EE:ED:xx. A description of at most 1 MiB cannot name 65536 devices,
// so the search always ends with a free node. taken is sorted.
MacAddress unusedNode(const std::vector<MacAddress>& taken, std::uint16_t& next) {
    MacAddress node{};
    for (std::uint32_t tries = 0; tries <= 0xFFFF; ++tries, ++next) {
        node = {0x00, 0x00, 0xB4, 0xEE, Byte(0xEE - (next >> 8)), Byte(next)};
        if (!std::binary_search(taken.begin(), taken.end(), node))
            break;
    }
    ++next;
    return node;
}

// The boxes a bindery can name: by section name or server name (any case) and
// by Ethernet address. When several boxes answer to a text, the last one of the
// file is meant.
class BoxNames {
public:
    explicit BoxNames(const std::vector<BoxSpec>& boxes) : m_boxes(boxes) {
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            m_byLabel[lowered(boxes[i].label)] = i;
            m_byAlias[lowered(fieldText(boxes[i].record, record::AliasName, 16))] = i;
            m_byMac[boxes[i].mac] = i;
        }
    }
    const BoxSpec* find(const std::string& text) const {
        std::optional<std::size_t> last;
        auto take = [&](const auto& index, const auto& key) {
            if (const auto it = index.find(key); it != index.end() && (!last || it->second > *last))
                last = it->second;
        };
        const std::string name = lowered(text);
        take(m_byLabel, name);
        take(m_byAlias, name);
        if (const auto mac = parseMac(text))
            take(m_byMac, *mac);
        return last ? &m_boxes[*last] : nullptr;
    }

private:
    const std::vector<BoxSpec>& m_boxes;
    std::unordered_map<std::string, std::size_t> m_byLabel, m_byAlias;
    std::map<MacAddress, std::size_t> m_byMac;
};

// The bindery of a file server, once the boxes of the LAN are known: the server
// itself and the other file servers, the NDS trees, the print servers, the
// boxes' objects and the objects of boxes that are not there. A box that is not
// found is reported; nothing is added then.
bool buildBindery(ServerDraft& d, const BoxNames& boxes, const std::vector<MacAddress>& taken,
                  std::uint16_t& nextNode, std::string& why) {
    FileServerSpec& fs = d.server;
    std::vector<std::pair<const BoxSpec*, std::uint16_t>> found;
    for (const auto& ref : d.boxRefs) {
        const BoxSpec* box = boxes.find(ref.text);
        if (!box) {
            why = "\"" + ref.text + "\" names no box of this file; expected its section name, its server name or its "
                  "Ethernet address";
            return false;
        }
        if (box->isPc) {
            why = "\"" + ref.text + "\" is a networked PC; only a box has a print server object";
            return false;
        }
        found.emplace_back(box, ref.type);
    }
    // As addObject adds them, one object of a type and name (any case), but with
    // the names found through a set: a list may name thousands.
    std::set<std::pair<std::uint16_t, std::string>> present; // type, stored name in lower case
    auto add = [&](std::uint16_t type, const std::string& name, std::optional<platform::IpxAddress> address = {}) {
        if (present.contains({type, lowered(name)}))
            return;
        fs.appendObject(type, name, address);
        present.emplace(type, lowered(fs.bindery.back().name));
    };
    add(netware::FileServerObject, fs.name, fs.address());
    for (const auto& n : d.fileServers)
        add(netware::FileServerObject, n);
    for (const auto& n : d.ndsTrees)
        add(netware::NdsTreeObject, n);
    for (const auto& n : d.printServers)
        add(netware::PrintServerObject, n);
    for (const auto& [box, type] : found) {
        std::string name = fieldText(box->record, record::AliasName, 16);
        if (name.empty())
            name = box->label;
        add(type, name, platform::IpxAddress{fs.network, box->mac, ipx::CommandSocket});
    }
    for (const auto& n : d.missing)
        add(netware::BoxObject, n, platform::IpxAddress{fs.network, unusedNode(taken, nextNode), ipx::CommandSocket});
    return true;
}

// The text of a LAN description, or an error naming why there is none.
std::optional<std::string> readDescription(const std::string& path, std::string& why) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        why = "cannot read the LAN description " + path + ": " + (ec ? ec.message() : std::strerror(ENOENT));
        return std::nullopt;
    }
    if (std::filesystem::is_directory(status)) {
        why = "the LAN description " + path + " is a directory; give the file itself";
        return std::nullopt;
    }
    if (!std::filesystem::is_regular_file(status)) {
        why = "the LAN description " + path + " is not a regular file";
        return std::nullopt;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        why = "cannot read the LAN description " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    // Read in pieces until past the limit: a description is a few kilobytes,
    // and a buffer of the whole limit would be filled for each one.
    std::string text;
    char piece[16 * 1024];
    while (text.size() <= MaxDescriptionBytes) {
        const std::size_t got = std::fread(piece, 1, sizeof piece, f);
        if (got == 0)
            break;
        text.append(piece, got);
    }
    const std::size_t n = text.size();
    const bool failed = std::ferror(f) != 0;
    const int readErrno = errno;
    std::fclose(f);
    if (failed) {
        why = "cannot read the LAN description " + path + ": " + std::strerror(readErrno);
        return std::nullopt;
    }
    if (n > MaxDescriptionBytes) {
        why = "the LAN description " + path + " is longer than " + std::to_string(MaxDescriptionBytes) +
              " bytes: not a LAN description";
        return std::nullopt;
    }
    return text;
}

} // namespace

std::vector<BoxSpec> loadLanDescription(const std::string& path, std::string* error) {
    return loadLan(path, error).boxes;
}

LanDescription loadLan(const std::string& path, std::string* error) {
    std::vector<std::pair<int, std::string>> errors; // line (0: the whole file), text
    auto done = [&](LanDescription lan) {
        if (errors.empty())
            return lan;
        if (error) {
            std::stable_sort(errors.begin(), errors.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            error->clear();
            for (const auto& e : errors)
                *error += (error->empty() ? "" : "\n") + e.second;
        }
        return LanDescription{};
    };
    std::string why;
    const auto text = readDescription(path, why);
    if (!text) {
        errors.emplace_back(0, why);
        return done({});
    }
    const platform::IniFile ini = platform::IniFile::parse(*text);
    auto report = [&](int line, const std::string& what) {
        errors.emplace_back(line, path + ":" + std::to_string(line) + ": " + what);
    };

    // The sections in file order, each with its lines; a name given twice is refused.
    struct Section {
        std::string name;
        int line = 0;
        std::vector<const platform::IniFile::Line*> entries;
    };
    std::vector<Section> sections;
    std::unordered_map<std::string, int> sectionLines; // names (lower case) and their lines
    bool skipping = false; // inside a section refused above
    for (const auto& l : ini.lines()) {
        using Kind = platform::IniFile::Line::Kind;
        if (l.kind == Kind::Section) {
            skipping = false;
            if (!l.closed || l.section.empty()) {
                report(l.number, "expected a section header as [name], not \"" + l.text + "\"");
                skipping = true;
                continue;
            }
            const auto [first, added] = sectionLines.try_emplace(lowered(l.section), l.number);
            if (!added) {
                report(l.number, "[" + l.section + "]: a second section of this name (the first is on line " +
                                 std::to_string(first->second) + "); every box needs a name of its own");
                skipping = true;
            } else {
                sections.push_back({l.section, l.number, {}});
            }
        } else if (l.kind == Kind::Entry) {
            if (!skipping)
                sections.back().entries.push_back(&l);
        } else {
            report(l.number, (sections.empty() && !skipping
                                                 ? "expected a section header as [name] before any key, not \""
                                                 : "expected key = value, not \"") +
                             l.text + "\"");
        }
    }

    std::vector<BoxSpec> boxes;
    std::vector<ServerDraft> servers;
    struct Owner {
        MacAddress mac;
        std::string section;
        int line;
    };
    std::vector<Owner> owners; // every address read so far, from sections with or without mistakes
    std::map<MacAddress, std::size_t> firstOwners; // each address and the first of owners to have it
    // Reports each key given twice in a section; calls apply(entry) for the others.
    auto eachKey = [&](const Section& section, auto&& apply) {
        std::unordered_map<std::string, int> seen; // keys (lower case) and their lines
        for (const auto* e : section.entries) {
            const auto [first, added] = seen.try_emplace(lowered(e->key), e->number);
            if (!added) {
                report(e->number, "[" + section.name + "] " + e->key + ": given twice in this section (first on line " +
                                      std::to_string(first->second) + ")");
                continue;
            }
            apply(*e, "[" + section.name + "] " + e->key + ": ");
        }
    };
    for (const Section& section : sections) {
        const auto errorsBefore = errors.size();
        // The address comes first: the device name and the hardware bytes follow from it.
        const platform::IniFile::Line* macLine = nullptr;
        bool fileServer = false;
        for (const auto* e : section.entries) {
            if (lowered(e->key) == "mac" && !macLine)
                macLine = e;
            if (lowered(e->key) == "kind" && e->value == "fileserver")
                fileServer = true;
        }
        std::optional<MacAddress> mac;
        if (!macLine) {
            report(section.line, "[" + section.name + "]: mac is missing; expected mac = " + MacForm);
        } else if (!(mac = parseMac(macLine->value))) {
            report(macLine->number, "[" + section.name + "] " + macLine->key + ": \"" +
                             macLine->value + "\" is not an Ethernet address; expected " + MacForm);
        } else {
            // Named against its first holder only: a file giving one address to
            // every section would otherwise get a report for every pair.
            if (const auto [first, added] = firstOwners.try_emplace(*mac, owners.size()); !added) {
                const Owner& o = owners[first->second];
                report(macLine->number, "[" + section.name + "] " + macLine->key + ": " + macColons(*mac) +
                                            " is already the address of [" + o.section + "] on line " +
                                            std::to_string(o.line) + "; every box needs an address of its own");
            }
            owners.push_back({*mac, section.name, macLine->number});
        }

        if (fileServer) {
            ServerDraft d;
            d.server.label = section.name;
            d.server.node = mac.value_or(MacAddress{});
            d.server.name = section.name.substr(0, netware::MaxNameLength);
            std::transform(d.server.name.begin(), d.server.name.end(), d.server.name.begin(),
                           [](unsigned char c) { return char(std::toupper(c)); });
            eachKey(section, [&](const platform::IniFile::Line& e, const std::string& where) {
                const ServerKeyRule* rule = serverRuleFor(e.key);
                if (!rule)
                    report(e.number, where + "unknown key of a file server (vnksim --help lists the keys)");
                else if (!rule->apply(d, e.value))
                    report(e.number, where + "bad value \"" + e.value + "\"; expected " + serverKeyForm(*rule));
                else if (lowered(e.key) == "box_objects")
                    d.boxRefsLine = e.number, d.boxRefsKey = e.key;
            });
            if (errors.size() == errorsBefore)
                servers.push_back(std::move(d));
            continue;
        }

        Draft d;
        d.box = baseBox(section.name, mac.value_or(MacAddress{}));
        d.box.printers.resize(5);
        std::size_t printersUsed = 0;
        setText(d.box.record, record::AliasName, 16, section.name.substr(0, 15));
        eachKey(section, [&](const platform::IniFile::Line& e, const std::string& where) {
            int n = 0;
            const KeyRule* rule = ruleFor(e.key, n);
            if (!rule)
                report(e.number, where + "unknown key (vnksim --help lists the keys)");
            else if (!rule->apply(d, n, e.value))
                report(e.number, where + "bad value \"" + e.value + "\"; expected " + rule->form);
            else if (lowered(e.key).rfind("printer", 0) == 0)
                printersUsed = std::max(printersUsed, std::size_t(n));
        });
        if (errors.size() != errorsBefore)
            continue;
        d.box.printers.resize(printersUsed);
        setHardware(d.box.record, d.box.mac, d.ports, d.caps, d.model, d.version, d.revision);
        setRecordChecksum(d.box.record);
        boxes.push_back(std::move(d.box));
    }
    if (boxes.empty() && errors.empty())
        errors.emplace_back(0, "the LAN description " + path + " has no box: expected one [name] section per box or PC");

    // The boxes a bindery names are known now.
    LanDescription lan;
    std::vector<MacAddress> taken;
    for (const Owner& o : owners)
        taken.push_back(o.mac);
    std::sort(taken.begin(), taken.end());
    const BoxNames boxNames(boxes);
    std::uint16_t nextNode = 1;
    for (ServerDraft& d : servers) {
        std::string missing;
        if (!buildBindery(d, boxNames, taken, nextNode, missing))
            report(d.boxRefsLine, "[" + d.server.label + "] " + d.boxRefsKey + ": " + missing);
        else
            lan.fileServers.push_back(std::move(d.server));
    }
    lan.boxes = std::move(boxes);
    return done(std::move(lan));
}

} // namespace vnk::sim
