// One box as vnkctl shows it: its identity, its device status as the status
// page labels it, everything of it at once (show), and its line in a list.
#pragma once

#include "cli/output.h"
#include "protocol/pserver_context.h"

#include <span>
#include <string>
#include <vector>

namespace vnk::cli {

Json identityJson(const protocol::ServerEntry& e);
Pairs identityPairs(const protocol::ServerEntry& e);

// The device status: JSON key, the label the status page gives it, the text.
struct StatusItem {
    const char* key;
    const char* label;
    std::string value;
};

std::vector<StatusItem> statusItems(const protocol::ServerEntry& e, std::span<const Byte, RecordSize> rec,
                                    const protocol::StatusBuffer& status, int parallelPortCount);
// The selected entry's, from the context's buffers.
std::vector<StatusItem> statusItems(protocol::CPServerContext& ctx);
Json statusJson(const std::vector<StatusItem>& items);
Pairs statusPairs(const std::vector<StatusItem>& items);

// Everything of one box: its identity, every field of its record, its status.
int showBox(Output& o, const protocol::ServerEntry& entry, std::span<const Byte, RecordSize> rec,
            const std::vector<StatusItem>& status);

// A list of print servers, a line each: name, Ethernet address, stored IP, with
// status the IP in use, one more column when the list has one (the NetBIOS name,
// the transports), then the model. The column's title and width, or none.
struct ListColumn {
    const char* title;
    int width;
};
std::string listHeader(bool withStatus, const ListColumn* extra = nullptr);
// activeIp: with status; extraText: the extra column's text, shown as it is.
std::string listLine(const protocol::ServerEntry& e, const std::string& model, const std::string* activeIp,
                     const ListColumn* extra = nullptr, const std::string& extraText = {});
// The JSON item of a listed box: name, ethernet, stored_ip, model, firmware_present.
Json listItem(const protocol::ServerEntry& e, const std::string& model);

} // namespace vnk::cli
