// One box as vnkctl shows it: its identity, its device status as the status
// page labels it, and everything of it at once (show).
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

} // namespace vnk::cli
