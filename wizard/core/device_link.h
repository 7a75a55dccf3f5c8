// One of the wizard's ways to a print server: its own compact UDP, IPX or NetBIOS
// exchanges. Every operation returns 1 on success and 0 on failure and says
// nothing to the user: the caller chooses the message.
#pragma once

#include "wizard/core/server_table.h"

#include <functional>
#include <string>

namespace vnk::wizard {

class DeviceLink {
public:
    virtual ~DeviceLink() = default;
    // The search with the given number of passes: accepted replies are added to
    // the table (WizardServerTable::addFound), then the configuration record of
    // every entry from firstIndex to the end of the table is read.
    virtual int search(WizardServerTable& table, int firstIndex, int passes) = 0;
    // Entry index's configuration record into the table (takeRecord).
    virtual int readConfig(WizardServerTable& table, int index) = 0;
    // The status of entry index into table.status.
    virtual int readStatus(WizardServerTable& table, int index) = 0;
    // Writes table.records[index] (with the checksum byte) to entry index.
    virtual int writeConfig(WizardServerTable& table, int index) = 0;
    virtual int reset(WizardServerTable& table, int index) = 0;
};

// The NetBIOS link also has a start-up, run once per search that needs it.
class NetbiosLink : public DeviceLink {
public:
    // 1 when a LANA where a print server answered was found (the context is
    // then kept for the library's life); 0 otherwise, after telling the user
    // "GetUniquename Faild!" or "EnumerateLANA Faild!" through inform when
    // that is why.
    virtual int start() = 0;
};

// How a link tells the user something (an information box with OK).
using Inform = std::function<void(const std::string& text)>;

} // namespace vnk::wizard
