#include "protocol/consistent_read.h"

#include <algorithm>
#include <optional>

namespace vnk::protocol {

bool recordChecksumHolds(const ConfigFrame& frame) {
    const auto rec = recordOf(frame);
    return rec[ChecksumOffset] == recordChecksum(rec);
}

ConsistentRead readConsistentRecord(CPServerContext& context, ServerEntry& entry, ConfigFrame& frame) {
    std::optional<ConfigRecord> previous;
    bool answered = false;
    for (int attempt = 0; attempt < context.timing().consistentReadAttempts; ++attempt) {
        if (context.XReadPServerEEProm(entry, frame) != 1)
            continue;
        answered = true;
        if (recordChecksumHolds(frame))
            return ConsistentRead::Ok;
        const auto rec = recordOf(frame);
        if (previous && std::equal(rec.begin(), rec.end(), previous->begin()))
            return ConsistentRead::Ok;
        previous.emplace();
        std::copy(rec.begin(), rec.end(), previous->begin());
    }
    return answered ? ConsistentRead::Inconsistent : ConsistentRead::NoAnswer;
}

} // namespace vnk::protocol
