// Config.ini and every settings file read through the ini reader: the parser, the
// profile calls and the vendor/device type filter that reads its keys.
#include "fuzz/fuzz_support.h"
#include "platform/inifile.h"
#include "protocol/device_filter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vnk;
    std::string text(reinterpret_cast<const char*>(data), size);
    auto ini = platform::IniFile::parse(text);
    for (const auto& section : ini.sections())
        for (const auto& [key, value] : ini.entries(section))
            (void)ini.value(section, key);
    (void)platform::leadingInt(text);

    std::string path = fuzz::inputFile(data, size, ".ini");
    (void)platform::profileString(path, "General Information", "VendorID", "", 16);
    (void)platform::profileInt(path, "General Information", "DeviceType1", 7);
    // The filter for a few vendor and type codes taken from the input itself.
    std::uint8_t vendor = size ? data[0] : 0, type = size > 1 ? data[1] : 0;
    (void)protocol::deviceFilterAccepts(path, vendor, type);
    (void)protocol::deviceFilterAccepts(path, 0, 1);
    return 0;
}
