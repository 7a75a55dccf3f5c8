// Texts typed into the pages and the command line or stored in files: Ethernet
// addresses, IP addresses in each page's reading, numbers read as atoi reads
// them, a box's 8-bit texts in every code page, and the administration pages
// npkova-host reads. The readers that should agree are held to each other, and
// what each prints reads back as what it read.
#include "fuzz/fuzz_support.h"
#include "platform/box_text.h"
#include "platform/hostinfo.h"
#include "platform/inifile.h"
#include "plugin/host/page_reading.h"
#include "protocol/records.h"
#include "sheet/rules/dhcp_rules.h"
#include "sheet/rules/ip_rules.h"
#include "wizard/rules/page_rules.h"

#include <climits>
#include <cstdlib>

namespace {

using namespace vnk;

void macTexts(const std::string& text) {
    const auto mac = protocol::parseMac(text);
    const auto hardware = platform::parseHardwareAddress(text);
    // The record's reader and the PC's reader take the same texts.
    if (mac.has_value() != hardware.has_value() || (mac && !std::equal(mac->begin(), mac->end(), hardware->begin())))
        std::abort();
    if (mac && protocol::parseMac(protocol::macText(*mac)) != mac)
        std::abort();
}

void addressTexts(const std::string& text) {
    const auto strict = rules::parseStrictAddress(text);
    if (strict && rules::parseStrictAddress(rules::dotted(*strict)) != strict)
        std::abort();
    // The loose reading takes every address the strict one takes, as the same address.
    const auto loose = rules::parseLooseAddress(text);
    if (strict && loose != strict)
        std::abort();
    if (loose && rules::parseLooseAddress(rules::dotted(*loose)) != loose)
        std::abort();
    // The wizard's check is the strict one, but for a text that starts with a
    // full stop: the strict reading skips the empty piece before it.
    const auto wizard = wizard::parseWizardIp(text);
    if (wizard && wizard::parseWizardIp(wizard::dottedText(*wizard)) != wizard)
        std::abort();
    if (!text.starts_with('.') && (wizard.has_value() != strict.has_value() ||
                                   (wizard && !std::equal(wizard->begin(), wizard->end(), strict->begin()))))
        std::abort();
}

void numberText(const std::string& text) {
    // atoi's reading, held to strtol's with the result clamped to an int.
    const long expected = std::strtol(text.c_str(), nullptr, 10);
    const int clamped = expected > INT_MAX ? INT_MAX : expected < INT_MIN ? INT_MIN : int(expected);
    if (platform::leadingInt(text) != clamped)
        std::abort();
}

bool terminalSafeText(const std::string& s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7F || (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xA0))
            return false;
    }
    return platform::isValidUtf8(s);
}

void boxTexts(const std::string& bytes) {
    for (const auto page : {platform::CodePage::Windows1252, platform::CodePage::Big5}) {
        const std::string shown = platform::decodeBoxText(bytes, page);
        if (!platform::isValidUtf8(shown) || (platform::isValidUtf8(bytes) && shown != bytes))
            std::abort();
        // Left as shown, the text keeps its bytes; typed, it reads back as typed.
        if (platform::bytesForShownText(shown, bytes, page) != bytes)
            std::abort();
        if (platform::decodeBoxText(platform::encodeBoxText(shown, page), page) != shown)
            std::abort();
    }
    if (!terminalSafeText(platform::terminalSafe(bytes)))
        std::abort();
}

void pageText(const std::string& html) {
    using namespace plugin::host;
    for (const char* name : {"embed", "frame"}) {
        const auto tags = findTags(html, name);
        if (tags.size() > MaxTags)
            std::abort();
        for (const HtmlTag& tag : tags) {
            if (tag.attributes.size() > MaxAttributes)
                std::abort();
            for (const auto& [attribute, value] : tag.attributes)
                if (!tag.attribute(attribute))
                    std::abort();
            // From a folder that does not exist: nothing on disk is listed.
            if (const auto src = tag.attribute("src"); src && src->find("..") == std::string::npos)
                (void)resolveLocal("/nonexistent-vnk-fuzz", *src);
        }
    }
    for (const auto& type : mimeTypes(html))
        if (type.empty() || type.find_first_of(";:") != std::string::npos)
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > plugin::host::MaxPageBytes)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    macTexts(text);
    addressTexts(text);
    numberText(text);
    boxTexts(text);
    pageText(text);
    return 0;
}
