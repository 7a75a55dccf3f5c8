// upgrade: the Upgrade page's checks of the firmware file, then the transfer with
// a progress bar on a terminal, then the box read again.
#include "cli/commands.h"

#include "platform/box_text.h"
#include "protocol/firmware.h"
#include "protocol/model_line.h"
#include "protocol/status_record.h"

#include <algorithm>
#include <cstdio>

namespace vnk::cli {

using namespace protocol;

namespace {

// "Upgrading [#########-----------] 201/448" on standard error, on a terminal only.
class UpgradeBar {
public:
    UpgradeBar(std::ostream& err, bool terminal) : m_err(err), m_terminal(terminal) {}
    ~UpgradeBar() { done(); }
    void show(int blocks) {
        if (!m_terminal || blocks == m_shown)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (blocks < firmware::FullImageBlocks && now - m_last < std::chrono::milliseconds(50))
            return;
        m_last = now;
        m_shown = blocks;
        const int width = 30;
        const int filled = std::min(width, blocks * width / firmware::FullImageBlocks);
        m_err << "\rUpgrading [" << std::string(std::size_t(filled), '#') << std::string(std::size_t(width - filled), '-')
              << "] " << blocks << "/" << firmware::FullImageBlocks << std::flush;
        m_drawn = true;
    }
    void done() {
        if (m_drawn)
            m_err << "\r" << std::string(60, ' ') << "\r" << std::flush;
        m_drawn = false;
    }

private:
    std::ostream& m_err;
    bool m_terminal;
    bool m_drawn = false;
    int m_shown = -1;
    std::chrono::steady_clock::time_point m_last{};
};

} // namespace

int cmdUpgrade(Session& s, std::ostream& err, const std::string& path, int typeNumber, bool terminal) {
    Output& o = s.output();
    CPServerContext& ctx = s.ctx();
    if (int rc = s.readRecord())
        return rc;
    ServerEntry& e = s.entry();
    const auto rec = recordOf(ctx.configBuffer);
    // Over UDP the box's revision must allow it; over IPX any box takes firmware.
    if (!s.ipx() && !supportsUdpUpgrade(rec))
        return o.fail(ExitFailure, shownName(noIpUpgradeText(e.name())));
    bool checks = true;
    const BrowseResult file = browseFirmwareFile(path, checks);
    if (isFileError(file.file))
        return o.fail(ExitBadValue, path + ": " + fileCheckText(file.file));
    int typeIndex = 0;
    if (typeNumber > 1) {
        const bool shown = typeNumber == 2 ? file.buttons.type2 : file.buttons.type3;
        if (!checks || !shown)
            return o.fail(ExitBadValue, path + " has no Type" + std::to_string(typeNumber) + " image to choose (" +
                                            (checks ? std::to_string(file.imageCount) + " image(s) of 524288 bytes"
                                                    : std::string("not a whole number of 524288-byte images")) +
                                            ")");
        typeIndex = typeNumber - 1;
    }
    const FileCheck check = checkFirmwareFile(path, typeIndex, modelCodeDigits(rec), checks);
    if (check != FileCheck::Accepted)
        return o.fail(ExitBadValue, fileCheckText(check));
    if (!checks) {
        o.text() << path << " is not a whole number of 524288-byte images: it is sent as one image, "
                 << "without the vendor and model checks.\n";
    } else if (const auto mask = readProtocolMask(path, typeIndex)) {
        std::string text = protocolMaskText(*mask);
        for (std::size_t at; (at = text.find("\n\n")) != std::string::npos;)
            text.erase(at, 1);
        o.text() << text;
    }
    MacAddress recordEthernet{};
    std::memcpy(recordEthernet.data(), rec.data() + record::EthernetAddress, 6);

    UpgradeBar bar(err, terminal);
    bar.show(0);
    UpgradeResult r;
    const int ok = XUpgradeFlashRAM(ctx, e, path, recordEthernet, typeIndex, [&](int n) { bar.show(n); }, &r);
    bar.done();
    o.result()["box"] = boxText(e.name());
    o.result()["image"] = typeIndex + 1;
    if (!ok) {
        const std::string why = r.end == UpgradeEnd::FileError ? fileCheckText(r.fileError) : upgradeEndText(r.end);
        return o.fail(ExitFailure, why + "; " + EnglishUpgradeTexts.failed);
    }
    o.text() << EnglishUpgradeTexts.succeeded << "\n";
    // The firmware was replaced whatever the reads after it say: a box that
    // cannot be read yet is a warning, not a failed upgrade.
    switch (rereadAfterUpgrade(ctx, e)) {
    case Reread::CannotReadEeprom:
    case Reread::CannotReadStatus:
        o.note("warning: the firmware was replaced, but " + s.name() + " could not be read afterwards");
        return ExitOk;
    case Reread::Ok:
        break;
    }
    o.text() << s.name() << ": " << modelLine(recordOf(ctx.configBuffer), e.identity[identity::Flags]) << " at "
             << activeIp(ctx.statusBuffer) << ", firmware present\n";
    return ExitOk;
}

} // namespace vnk::cli
