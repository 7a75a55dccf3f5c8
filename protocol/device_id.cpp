#include "protocol/device_id.h"

#include "protocol/records.h"
#include "protocol/status_record.h"

namespace vnk::protocol {

std::optional<std::vector<PortPrinter>> readPortPrinters(CPServerContext& ctx, ServerEntry& entry) {
    if (ctx.XReadPServerEEProm(entry, ctx.configBuffer) != 1)
        return std::nullopt;
    const auto rec = recordOf(ctx.configBuffer);
    const int parallel = parallelPorts(rec);
    if (ctx.XGetPServerStatus(entry, ctx.statusBuffer) != 1)
        return std::nullopt;
    const auto ports = printerPortStatuses(
        ctx.statusBuffer, parallel, 0, hasExtendedPrinterStatus(entry.identity),
        [&](int index) -> const PrinterStatusBuffer* {
            return ctx.XGetPrinterStatus(entry, ctx.printerStatusBuffer, index) == 1 ? &ctx.printerStatusBuffer
                                                                                   : nullptr;
        });
    std::vector<PortPrinter> printers;
    for (int i = 0; i < parallel && i < int(ports.size()); ++i)
        printers.push_back({i + 1, deviceIdFromItems(ports[std::size_t(i)].identification)});
    return printers;
}

} // namespace vnk::protocol
