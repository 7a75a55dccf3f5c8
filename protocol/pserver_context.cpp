#include "protocol/pserver_context.h"

#include <algorithm>

namespace vnk::protocol {

using namespace platform;

CPServerContext::CPServerContext(Endpoint endpoint, Timing timing, ErrorReporter& reporter)
    : m_endpoint(std::move(endpoint)), m_timing(timing), m_reporter(&reporter) {}

ServerEntry CPServerContext::entryFor(const MacAddress& ethernet) {
    ServerEntry e;
    e.ethernet = ethernet;
    std::copy(ethernet.begin(), ethernet.end(), e.ipxAddress.node.begin());
    e.ipxAddress.socket = IpxCommandSocket;
    return e;
}

ServerEntry* CPServerContext::selectedEntry() {
    if (selectedIndex < 0 || selectedIndex >= serverCount || selectedIndex >= MaxServers)
        return nullptr;
    return &serverTable[std::size_t(selectedIndex)];
}

const ServerEntry* CPServerContext::selectedEntry() const {
    return const_cast<CPServerContext*>(this)->selectedEntry();
}

void CPServerContext::reportSocketFailure(const char* operation, const char* call, int error) {
    m_reporter->report(socketFailureText(error, operation, call));
}

std::string CPServerContext::stillNotComingBackText(const std::string& name) {
    return name + " still not comming back !!!";
}

ReconnectResult CPServerContext::resetAndReconnect(const std::function<void(const std::string&)>& tell) {
    ReconnectResult r;
    ServerEntry* entry = selectedEntry();
    if (!entry)
        return r;
    const std::string failure = stillNotComingBackText(entry->name());
    XResetPServerEEProm(*entry); // the box may restart before it confirms
    Byte scratch[DiscoveryReplySize];
    for (int i = 0; i < timing().reconnectSearches && !r.cameBack; ++i)
        r.cameBack = XSearchPS(*entry, scratch) == 1;
    if (!r.cameBack) {
        tell(failure);
        return r;
    }
    r.recordRead = XReadPServerEEProm(*entry, configBuffer) == 1;
    if (!r.recordRead)
        tell(failure);
    r.statusRead = XGetPServerStatus(*entry, statusBuffer) == 1;
    if (!r.statusRead)
        tell(failure);
    return r;
}

} // namespace vnk::protocol
