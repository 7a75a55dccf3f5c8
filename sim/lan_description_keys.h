// The keys of a LAN description file, for the description reader: a box or PC
// section and a file server section each have a table of keys, every key with
// its name, the form of its value (what an error and --help show) and how it
// is applied to the device being read.
#pragma once

#include "protocol/records.h"
#include "sim/sim_box.h"
#include "sim/sim_fileserver.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vnk::sim::description_keys {

inline constexpr const char* MacForm =
    "six hex bytes, as 00:00:B4:12:33:44 or 00-00-B4-12-33-44 (required; one box per address)";

// One box or PC while its section is read: the hardware bytes go into the record
// once every key has been seen.
struct Draft {
    BoxSpec box;
    Byte ports = 0x01, caps = protocol::record::CapTcpIp, model = 0x11, version = 0x21, revision = 0x62;
};

// A key of a section. A name with <n> stands for five keys, n from 1 to 5.
struct KeyRule {
    const char* name;
    const char* form;
    bool (*apply)(Draft& d, int n, const std::string& value);
};

// The rule of a key as written (any case); n is the port or printer number of
// the keys that come in fives. Nothing for a key a box does not have.
const KeyRule* ruleFor(std::string key, int& n);

// A file server while its section is read: the boxes its bindery names are
// found once every section has been read.
struct ServerDraft {
    FileServerSpec server;
    std::vector<std::string> printServers, ndsTrees, fileServers, missing;
    struct BoxRef {
        std::string text; // as written
        std::uint16_t type;
    };
    std::vector<BoxRef> boxRefs;
    int boxRefsLine = 0;
    std::string boxRefsKey;
};

struct ServerKeyRule {
    const char* name;
    const char* form;
    bool (*apply)(ServerDraft& d, const std::string& value);
};

// The rule of a file server's key as written (any case), or nothing.
const ServerKeyRule* serverRuleFor(const std::string& key);
// The form of a file server key's value, as an error and --help show it.
std::string serverKeyForm(const ServerKeyRule& rule);

std::string lowered(std::string s);

} // namespace vnk::sim::description_keys
