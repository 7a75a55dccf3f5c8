// The device options and SNMP pages' rules without the pages.
#include "sheet/rules/options_rules.h"
#include "support/patterned_record.h"
#include "sheet/rules/snmp_rules.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vnk;
using namespace vnk::rules;
using protocol::Byte;
using protocol::ConfigRecord;
namespace r = protocol::record;

using vnk::testing::patterned;

namespace {

protocol::ServerEntry entryNamed(const char* device, const char* name) {
    protocol::ServerEntry e;
    e.identity.fill(0xEE);
    std::memcpy(e.identity.data(), device, 8);
    std::memcpy(e.identity.data() + 8, name, std::strlen(name) + 1);
    return e;
}

// The value every byte of the record must have after factory default, given
// the record before it: written out from the factory-default table.
Byte factoryByte(std::size_t i, const ConfigRecord& before, const char* device) {
    if (i >= 16 && i <= 23)
        return Byte(device[i - 16]);
    if (i == 24 || (i >= 32 && i <= 63) || i == 76 || i == 124 || i == 172)
        return 0;
    if (i == 75)
        return 2;
    if (i == 72)
        return Byte((before[i] & ~0x80 & ~0x02) | 0x04 | 0x20);
    if ((i >= 470 && i <= 501 && i != 489) || (i >= 406 && i <= 465) || i == 404 || (i >= 380 && i <= 395))
        return 0;
    if (i == 405)
        return 1;
    return before[i];
}

} // namespace

TEST(FactoryDefault, EveryByteOfTheRecord) {
    for (Byte options : {Byte(0xFF), Byte(0x00), Byte(0x5A)}) {
        ConfigRecord rec = patterned();
        rec[r::OptionFlags] = options;
        const ConfigRecord before = rec;
        auto entry = entryNamed("PS123456", "Front office");
        applyFactoryDefault(rec, entry);
        for (std::size_t i = 0; i < rec.size(); ++i)
            EXPECT_EQ(rec[i], factoryByte(i, before, "PS123456")) << "byte " << i;
        EXPECT_EQ(entry.name(), "PS123456");
        EXPECT_EQ(entry.identity[16], 0);
        EXPECT_EQ(entry.identity[17], 'i'); // the old name's bytes after the NUL stay
        EXPECT_EQ(protocol::deviceName(entry.identity), "PS123456");
    }
}

TEST(AliasName, ChangedOnlyWhenItDiffersExactly) {
    ConfigRecord rec = patterned();
    const ConfigRecord before = rec;
    auto entry = entryNamed("PS123456", "Office");
    EXPECT_FALSE(applyAliasName(rec, entry, "Office"));
    EXPECT_EQ(rec, before);

    EXPECT_TRUE(applyAliasName(rec, entry, "office"));
    EXPECT_EQ(entry.name(), "office");
    EXPECT_EQ(protocol::fieldText(rec, r::AliasName, 16), "office");
    EXPECT_EQ(rec[r::AliasName + 7], before[r::AliasName + 7]); // after the NUL: kept

    EXPECT_TRUE(applyAliasName(rec, entry, ""));
    EXPECT_EQ(entry.name(), "");
    EXPECT_EQ(rec[r::AliasName], 0);
    EXPECT_EQ(nameOrDeviceName(entry), "PS123456");

    const ConfigRecord kept = rec;
    EXPECT_FALSE(applyAliasName(rec, entry, "sixteen-chars-xx"));
    EXPECT_EQ(rec, kept);
    EXPECT_TRUE(applyAliasName(rec, entry, "fifteen-chars-x"));
    EXPECT_EQ(rec[r::AliasName + 15], 0);
    EXPECT_EQ(rec[r::SnmpContact], kept[r::SnmpContact]);
}

TEST(OptionSwitches, ABoxTheModelLacksIsClearAndClearsItsBit) {
    ConfigRecord rec{};
    rec[r::OptionFlags] = 0xFF;
    rec[r::Capabilities] = r::CapAppleTalk;
    OptionBoxes boxes = optionBoxes(rec);
    EXPECT_FALSE(boxes.netbeuiEnabled);
    EXPECT_FALSE(boxes.netbeui);
    EXPECT_TRUE(boxes.appletalkEnabled);
    EXPECT_TRUE(boxes.appletalk);
    EXPECT_TRUE(boxes.diagnostic);
    EXPECT_FALSE(optionBoxes(rec, true).appletalkEnabled);
    EXPECT_FALSE(optionBoxes(rec, true).aliasEnabled);

    storeOptionBits(rec, false, true, true);
    EXPECT_EQ(rec[r::OptionFlags], 0xFF & ~0x80 & ~0x20);
    rec[r::Capabilities] = r::CapNetBeui;
    storeOptionBits(rec, true, true, true);
    EXPECT_EQ(rec[r::OptionFlags], 0xFF & ~0x40);
}

TEST(OptionsWrite, FactoryDefaultWinsOverTheBoxes) {
    ConfigRecord rec = patterned();
    rec[r::Capabilities] = 0; // no NetBEUI: the page clears bit 5, factory default sets it
    auto entry = entryNamed("PS123456", "PS123456");
    OptionsPageValues v;
    v.alias = "PS123456";
    v.factoryDefault = true;
    const auto result = applyOptionsPage(rec, entry, v);
    EXPECT_TRUE(result.accepted);
    EXPECT_TRUE(result.nameChanged);
    EXPECT_TRUE(rec[r::OptionFlags] & r::OptNetBeui);

    v.factoryDefault = false;
    EXPECT_FALSE(applyOptionsPage(rec, entry, v).nameChanged);
    EXPECT_FALSE(rec[r::OptionFlags] & r::OptNetBeui);

    const ConfigRecord kept = rec;
    v.alias = std::string(16, 'a');
    v.diagnostic = !(rec[r::OptionFlags] & r::OptDiagnostic);
    EXPECT_FALSE(applyOptionsPage(rec, entry, v).accepted);
    EXPECT_EQ(rec, kept);
}

TEST(SnmpTexts, StoredWithTheirNulAndTheRestKept) {
    ConfigRecord rec = patterned();
    const ConfigRecord before = rec;
    ASSERT_TRUE(storeSnmpTexts(rec, {"", "Room 15 shelf 2"}));
    for (std::size_t i = 0; i < rec.size(); ++i) {
        if (i == 32 || i == 63) {
            EXPECT_EQ(rec[i], 0) << "byte " << i;
        } else if (i < 48 || i > 62) {
            EXPECT_EQ(rec[i], before[i]) << "byte " << i;
        }
    }
    EXPECT_EQ(snmpTexts(rec).contact, "");
    EXPECT_EQ(snmpTexts(rec).location, "Room 15 shelf 2");
    EXPECT_FALSE(storeSnmpTexts(rec, {"a", std::string(16, 'x')}));
    EXPECT_EQ(rec[33], before[33]);

    // A full field without a NUL reads as its 16 bytes, not into the next field.
    std::fill(rec.begin() + 32, rec.begin() + 48, Byte('c'));
    EXPECT_EQ(snmpTexts(rec).contact, std::string(16, 'c'));

    protocol::IdentityBlock id{};
    EXPECT_FALSE(snmpEnabled(id));
    id[protocol::identity::Flags] = 0x31;
    EXPECT_TRUE(snmpEnabled(id));
}
