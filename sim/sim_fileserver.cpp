#include "sim/sim_fileserver.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace vnk::sim {

using namespace netware;

namespace {

constexpr std::uint32_t FirstObjectId = 0x0A000001;
constexpr std::uint32_t ScanFromStart = 0xFFFFFFFF;

// NCP request types (the first two bytes) and the functions the server knows.
constexpr std::uint16_t CreateConnection = 0x1111;
constexpr std::uint16_t Request = 0x2222;
constexpr std::uint16_t EndConnection = 0x5555;
constexpr std::uint16_t Reply = 0x3333;
constexpr Byte BinderyFunction = 0x17;
constexpr Byte ScanObjectSubfunction = 0x37;
constexpr Byte ReadPropertySubfunction = 0x3D;

constexpr std::size_t ConnectionHeaderSize = 6; // type, sequence, connection low, task, connection high
constexpr std::size_t ReplyHeaderSize = 8;      // ... completion code, connection status
constexpr std::size_t PropertyValueSize = 128;
constexpr std::size_t MaxPropertyNameLength = 15;

std::uint16_t get16(std::span<const Byte> b, std::size_t at) {
    return std::uint16_t(b[at] << 8 | b[at + 1]);
}
std::uint32_t get32(std::span<const Byte> b, std::size_t at) {
    return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 | std::uint32_t(b[at + 2]) << 8 | b[at + 3];
}
void put16(std::vector<Byte>& b, std::uint16_t v) {
    b.push_back(Byte(v >> 8));
    b.push_back(Byte(v));
}
void put32(std::vector<Byte>& b, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(Byte(v >> shift));
}
// A name field of 48 bytes, NUL padded; at most 47 characters of the name.
void putName(std::vector<Byte>& b, const std::string& name) {
    const std::size_t n = std::min(name.size(), MaxNameLength);
    b.insert(b.end(), name.begin(), name.begin() + std::ptrdiff_t(n));
    b.resize(b.size() + NameWidth - n, 0);
}
// The text of a name as a request carries it: up to its first NUL.
std::string nameAt(std::span<const Byte> b, std::size_t at, std::size_t length) {
    std::string s(reinterpret_cast<const char*>(b.data() + at), length);
    return s.substr(0, s.find('\0'));
}
bool equalNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::toupper(x) == std::toupper(y);
           });
}
bool typeMatches(std::uint16_t wanted, std::uint16_t type) {
    return wanted == AnyObject || wanted == type;
}

} // namespace

bool binderyNameMatches(const std::string& pattern, const std::string& name) {
    // Iterative wildcard match: the last '*' seen is where a mismatch goes back to.
    std::size_t p = 0, n = 0, star = std::string::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || std::toupper(static_cast<unsigned char>(pattern[p])) ==
                                      std::toupper(static_cast<unsigned char>(name[n])))) {
            ++p, ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool FileServerSpec::addObject(std::uint16_t type, const std::string& objectName,
                               std::optional<platform::IpxAddress> netAddress) {
    for (const BinderyObject& o : bindery)
        if (o.type == type && equalNoCase(o.name, objectName))
            return false;
    appendObject(type, objectName, netAddress);
    return true;
}

void FileServerSpec::appendObject(std::uint16_t type, const std::string& objectName,
                                  std::optional<platform::IpxAddress> netAddress) {
    const std::uint32_t id = bindery.empty() ? FirstObjectId : bindery.back().id + 0x11;
    bindery.push_back({id, type, objectName.substr(0, MaxNameLength), netAddress});
}

SimFileServer::SimFileServer(FileServerSpec spec) : m_spec(std::move(spec)) {
    // Whatever the description says, the bindery is scanned in rising identifiers.
    std::stable_sort(m_spec.bindery.begin(), m_spec.bindery.end(),
                     [](const BinderyObject& a, const BinderyObject& b) { return a.id < b.id; });
}

std::optional<std::vector<Byte>> SimFileServer::sapRequest(std::span<const Byte> request) const {
    // Query type 3 (nearest service) for file servers or for every service.
    if (request.size() != 4 || get16(request, 0) != 3 ||
        (get16(request, 2) != FileServerObject && get16(request, 2) != AnyObject))
        return std::nullopt;
    std::vector<Byte> r;
    put16(r, 4); // nearest service response
    put16(r, FileServerObject);
    putName(r, m_spec.name);
    r.insert(r.end(), m_spec.network.begin(), m_spec.network.end());
    r.insert(r.end(), m_spec.node.begin(), m_spec.node.end());
    put16(r, m_spec.ncpSocket);
    put16(r, 1); // hops
    return r;
}

std::vector<Byte> SimFileServer::reply(std::span<const Byte> request, Byte completion, Byte status) const {
    // The request's sequence, connection and task numbers, echoed.
    std::vector<Byte> r(ReplyHeaderSize);
    r[0] = r[1] = Byte(Reply >> 8);
    for (std::size_t i = 2; i < ConnectionHeaderSize; ++i)
        r[i] = request[i];
    r[6] = completion;
    r[7] = status;
    return r;
}

std::optional<std::vector<Byte>> SimFileServer::ncpRequest(std::span<const Byte> request,
                                                           const platform::IpxAddress& from) {
    if (request.size() < ConnectionHeaderSize) {
        ++refused;
        return std::nullopt;
    }
    const std::uint16_t type = get16(request, 0);
    if (type == CreateConnection) {
        auto r = createConnection(request, from);
        if (!r)
            ++refused;
        return r;
    }
    if (type != Request && type != EndConnection) {
        ++refused;
        return std::nullopt;
    }
    // The shape first: a malformed request gets no answer at all.
    const bool ending = type == EndConnection;
    const bool binderyRequest = !ending && request.size() >= 10 && request[6] == BinderyFunction &&
                                (request[9] == ScanObjectSubfunction || request[9] == ReadPropertySubfunction);
    if (ending ? request.size() != ConnectionHeaderSize : !binderyRequest) {
        ++refused;
        return std::nullopt;
    }
    std::optional<std::vector<Byte>> answer;
    if (!ending) {
        answer = request[9] == ScanObjectSubfunction ? scanObject(request) : readProperty(request);
        if (!answer) {
            ++refused;
            return answer;
        }
    }
    const std::uint16_t number = std::uint16_t(request[3] | request[5] << 8);
    const auto open = m_connections.find(number);
    if (open == m_connections.end() || open->second.station != from)
        return reply(request, Failure, BadConnection);
    Connection& connection = open->second;
    if (request[2] != Byte(connection.sequence + 1)) {
        if (request[2] == connection.sequence && std::ranges::equal(request, connection.lastRequest))
            return connection.lastReply;
        ++refused;
        ++sequenceViolations;
        return std::nullopt;
    }
    if (ending) {
        m_connections.erase(open);
        return reply(request, Success, 0);
    }
    connection.sequence = request[2];
    connection.lastRequest.assign(request.begin(), request.end());
    connection.lastReply = *answer;
    return answer;
}

std::optional<std::vector<Byte>> SimFileServer::createConnection(std::span<const Byte> request,
                                                                 const platform::IpxAddress& from) {
    if (request.size() != ConnectionHeaderSize + 1)
        return std::nullopt;
    // A station that connects again gives up its old connection.
    for (auto it = m_connections.begin(); it != m_connections.end(); ++it)
        if (it->second.station == from) {
            m_connections.erase(it);
            break;
        }
    std::uint16_t number = 1;
    while (m_connections.count(number))
        ++number;
    if (number > MaxConnections)
        return reply(request, NoFreeConnection, NoConnectionAvailable);
    std::vector<Byte> r = reply(request, Success, 0);
    r[3] = Byte(number & 0xFF);
    r[5] = Byte(number >> 8);
    m_connections[number] = Connection{from, request[2], {}, {}};
    ++connectionsCreated;
    return r;
}

// 22 22, sequence, connection low, task, connection high, 17, length (2), 37,
// last object identifier (4), object type (2), name length n, name (n): 17 + n
// bytes. The length field is not relied on (clients send 00 08 whatever the name).
std::optional<std::vector<Byte>> SimFileServer::scanObject(std::span<const Byte> request) const {
    constexpr std::size_t NameAt = 17;
    if (request.size() < NameAt)
        return std::nullopt;
    const std::size_t n = request[16];
    if (n < 1 || n > MaxNameLength || request.size() != NameAt + n)
        return std::nullopt;
    const std::uint32_t last = get32(request, 10);
    const std::uint16_t wanted = get16(request, 14);
    const std::string pattern = nameAt(request, NameAt, n);
    for (const BinderyObject& o : m_spec.bindery) {
        if ((last != ScanFromStart && o.id <= last) || !typeMatches(wanted, o.type) ||
            !binderyNameMatches(pattern, o.name))
            continue;
        std::vector<Byte> r = reply(request, Success, 0);
        put32(r, o.id);
        put16(r, o.type);
        putName(r, o.name);
        r.push_back(0);                        // flags: static
        r.push_back(0x31);                     // security: anyone reads, the supervisor writes
        r.push_back(o.netAddress ? 0xFF : 0);  // has properties
        return r;
    }
    return reply(request, NoSuchObject, 0);
}

// 22 22, sequence, connection low, task, connection high, 17, length (2), 3D,
// object type (2), name length n, name (n), segment, property name length p,
// property name (p): 15 + n + p bytes.
std::optional<std::vector<Byte>> SimFileServer::readProperty(std::span<const Byte> request) const {
    constexpr std::size_t NameAt = 13;
    if (request.size() < NameAt)
        return std::nullopt;
    const std::size_t n = request[12];
    if (n < 1 || n > MaxNameLength || request.size() < NameAt + n + 2)
        return std::nullopt;
    const Byte segment = request[NameAt + n];
    const std::size_t p = request[NameAt + n + 1];
    if (p < 1 || p > MaxPropertyNameLength || request.size() != NameAt + n + 2 + p)
        return std::nullopt;
    const std::uint16_t wanted = get16(request, 10);
    const std::string name = nameAt(request, NameAt, n);
    const std::string property = nameAt(request, NameAt + n + 2, p);
    const BinderyObject* object = nullptr;
    for (const BinderyObject& o : m_spec.bindery)
        if (typeMatches(wanted, o.type) && equalNoCase(o.name, name)) {
            object = &o;
            break;
        }
    if (!object)
        return reply(request, NoSuchObject, 0);
    if (!object->netAddress || !equalNoCase(property, "NET_ADDRESS"))
        return reply(request, NoSuchProperty, 0);
    if (segment != 1)
        return reply(request, NoSuchSegment, 0);
    std::vector<Byte> r = reply(request, Success, 0);
    const platform::IpxAddress& a = *object->netAddress;
    r.insert(r.end(), a.network.begin(), a.network.end());
    r.insert(r.end(), a.node.begin(), a.node.end());
    put16(r, a.socket);
    r.resize(ReplyHeaderSize + PropertyValueSize, 0);
    r.push_back(0); // no further segment
    r.push_back(0); // property flags: static, item
    return r;
}

} // namespace vnk::sim
