#include "protocol/model_line.h"

#include <cstdio>

namespace vnk::protocol {

std::string modelLine(std::span<const Byte, RecordSize> rec, Byte identityFlags) {
    const int p = parallelPorts(rec);
    const int s = serialPorts(rec);
    const Byte revision = rec[record::Revision];
    const Byte version = rec[record::Version];
    const Byte model = rec[record::ModelCode];
    char line[64];
    if (s != 0)
        std::snprintf(line, sizeof line, "%dP%dS/%X%c-%d.%d.%d%d", p, s, revision >> 4, char(64 + (revision & 0xF)),
                      version >> 4, version & 0xF, model >> 4, model & 0xF);
    else
        std::snprintf(line, sizeof line, "%dP/%X%c-%d.%d.%d%d", p, revision >> 4, char(64 + (revision & 0xF)),
                      version >> 4, version & 0xF, model >> 4, model & 0xF);
    std::string out = line;
    switch (identityFlags >> 4) {
    case 1: out += 'A'; break;
    case 2: out += 'B'; break;
    case 4: out += 'C'; break;
    default: break;
    }
    return out;
}

} // namespace vnk::protocol
