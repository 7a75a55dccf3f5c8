#include "protocol/record_fields.h"
#include "support/patterned_record.h"

#include <gtest/gtest.h>

#include <set>

using namespace vnk::protocol;

using vnk::testing::patterned;

namespace {

// A record whose neighbouring bytes all differ and none is 0, so a stray write
const FieldDef& field(const char* name) {
    const FieldDef* f = findField(name);
    if (!f)
        throw std::runtime_error(std::string("no field ") + name);
    return *f;
}

std::string read(const char* name, const ConfigRecord& r) { return readField(field(name), r); }

// A value every writable field accepts, different from what the pattern holds.
std::string sampleValue(const FieldDef& f, const ConfigRecord& r) {
    switch (f.kind) {
    case FieldKind::Text:
        return std::string(f.width - 1, 'q');
    case FieldKind::TextFillWidth:
        return std::string(f.width, 'q');
    case FieldKind::IPv4:
        return "10.20.30.40";
    case FieldKind::Number8:
    case FieldKind::Number16:
        return std::to_string(r[f.offset] == f.maxValue ? f.minValue : f.maxValue);
    case FieldKind::FlagBit:
        return (r[f.offset] & f.mask) ? "0" : "1";
    default:
        return {};
    }
}

} // namespace

TEST(RecordFields, NamesAreUniqueAndFoundWhateverTheirCase) {
    std::set<std::string> names;
    for (const auto& f : allFields())
        EXPECT_TRUE(names.insert(f.name).second) << f.name;
    EXPECT_EQ(findField("IP_Address"), findField("ip_address"));
    ASSERT_NE(findField("ip_address"), nullptr);
    EXPECT_EQ(findField("ip_address")->offset, 498u);
    EXPECT_EQ(findField("ip_addres"), nullptr);
    EXPECT_EQ(findField(""), nullptr);
}

// Two fields share bytes only when they are different bits of one byte or a
// read-only view of the port configuration.
TEST(RecordFields, FieldsDoNotOverlapAndNoneReachesTheChecksum) {
    const auto fields = allFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto& a = fields[i];
        EXPECT_LE(a.offset + a.width, 511u) << a.name;
        for (std::size_t j = i + 1; j < fields.size(); ++j) {
            const auto& b = fields[j];
            const bool overlap = a.offset < b.offset + b.width && b.offset < a.offset + a.width;
            if (!overlap)
                continue;
            const bool bothBits = a.mask && b.mask && a.width == 1 && b.width == 1;
            if (bothBits && !(a.readOnly && b.readOnly && a.offset == 8))
                EXPECT_EQ(a.mask & b.mask, 0) << a.name << " / " << b.name;
            else
                EXPECT_TRUE(a.readOnly && b.readOnly) << a.name << " overlaps " << b.name;
        }
    }
}

TEST(RecordFields, PlacesOfTheRepeatedBlocks) {
    EXPECT_EQ(field("mail1_server").offset, 406u);
    EXPECT_EQ(field("mail2_account").offset, 430u);
    EXPECT_EQ(field("mail3_password").offset, 458u);
    EXPECT_EQ(field("mail3_password").width, 8u);
    EXPECT_EQ(field("appletalk_type3").offset, 268u);
    EXPECT_EQ(field("remote_com1").offset, 510u);
    EXPECT_EQ(field("dhcp_range").width, 2u);
    EXPECT_EQ(field("mail_all_lpt3").mask, 0x40);
    EXPECT_EQ(field("abort_on_error").mask, 0x80);
}

TEST(RecordFields, DisplayForms) {
    ConfigRecord r = patterned();
    const Byte mac[] = {0x00, 0x40, 0x1A, 0xFF, 0x0B, 0xC3};
    std::copy(std::begin(mac), std::end(mac), r.begin() + 2);
    r[8] = 0x07; // 3 parallel ports, 1 serial port
    std::copy_n("Office-PS\0", 10, r.begin() + 16);
    r[498] = 192, r[499] = 168, r[500] = 1, r[501] = 20;
    r[474] = 0x2C, r[475] = 0x01; // 300
    r[72] = 0x24;
    r[505] = 0x21;

    EXPECT_EQ(read("ethernet_address", r), "00 40 1A FF 0B C3");
    EXPECT_EQ(read("parallel_ports", r), "3");
    EXPECT_EQ(read("serial_ports", r), "1");
    EXPECT_EQ(read("port_config", r), "7");
    EXPECT_EQ(read("alias_name", r), "Office-PS");
    EXPECT_EQ(read("ip_address", r), "192.168.1.20");
    EXPECT_EQ(read("dhcp_range", r), "300");
    EXPECT_EQ(read("tcpip", r), "1");
    EXPECT_EQ(read("netbeui", r), "1");
    EXPECT_EQ(read("netware_off", r), "0");
    EXPECT_EQ(read("version", r), "33");
}

TEST(RecordFields, TextFillingItsWholeWidthReadsNoFurther) {
    ConfigRecord r = patterned();
    std::fill_n(r.begin() + 32, 16, Byte('c')); // contact fills 16 bytes, no NUL
    r[48] = 'L';
    EXPECT_EQ(read("snmp_contact", r), std::string(16, 'c'));
    std::copy_n("ABCDEFGH", 8, r.begin() + 410); // mail1_account without terminator
    EXPECT_EQ(read("mail1_account", r), "ABCDEFGH");
}

TEST(RecordFields, EveryWritableFieldChangesOnlyItsOwnBytes) {
    const ConfigRecord before = patterned();
    for (const auto& f : allFields()) {
        if (f.readOnly)
            continue;
        ConfigRecord r = before;
        const std::string value = sampleValue(f, r);
        ASSERT_FALSE(writeField(f, r, value).has_value()) << f.name << "=" << value;
        EXPECT_EQ(readField(f, r), value) << f.name;
        for (std::size_t i = 0; i < r.size(); ++i) {
            const bool own = i >= f.offset && i < f.offset + f.width;
            if (!own) {
                EXPECT_EQ(r[i], before[i]) << f.name << " touched byte " << i;
            } else if (f.kind == FieldKind::FlagBit) {
                EXPECT_EQ(r[i] & ~f.mask, before[i] & ~f.mask) << f.name << " touched other bits";
            }
        }
    }
}

TEST(RecordFields, MailAccountOfEightCharactersHasNoTerminator) {
    ConfigRecord r = patterned();
    const ConfigRecord before = r;
    ASSERT_FALSE(writeField(field("mail2_account"), r, "operator").has_value());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r[430]), 8), "operator");
    EXPECT_EQ(r[438], before[438]); // the password that follows is untouched
    EXPECT_EQ(r[429], before[429]);

    ASSERT_FALSE(writeField(field("mail2_account"), r, "bob").has_value());
    EXPECT_EQ(r[433], 0);
    EXPECT_EQ(r[434], Byte('a')); // bytes after the terminator stay
    EXPECT_EQ(r[437], Byte('r'));
    EXPECT_EQ(read("mail2_account", r), "bob");

    ASSERT_FALSE(writeField(field("mail2_password"), r, "secret7").has_value());
    EXPECT_EQ(r[445], 0);
    EXPECT_EQ(r[446], before[446]);

    EXPECT_TRUE(writeField(field("mail2_password"), r, "ninechars").has_value());
}

TEST(RecordFields, TextNeverWritesPastItsWidth) {
    ConfigRecord r = patterned();
    const ConfigRecord before = r;
    ASSERT_FALSE(writeField(field("alias_name"), r, "fifteen-chars-x").has_value());
    EXPECT_EQ(r[31], 0);
    EXPECT_EQ(r[32], before[32]);

    ConfigRecord refused = before;
    const auto error = writeField(field("alias_name"), refused, "sixteen-chars-xx");
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("alias_name"), std::string::npos);
    EXPECT_EQ(refused, before);

    // A shorter text leaves the old characters after its terminator.
    ASSERT_FALSE(writeField(field("alias_name"), r, "ab").has_value());
    EXPECT_EQ(r[18], 0);
    EXPECT_EQ(r[19], Byte('t'));
    EXPECT_EQ(read("alias_name", r), "ab");

    // An empty text is just the terminator.
    ASSERT_FALSE(writeField(field("smb_group"), r, "").has_value());
    EXPECT_EQ(r[380], 0);
    EXPECT_EQ(r[381], before[381]);

    EXPECT_TRUE(writeField(field("alias_name"), r, std::string("a\0b", 3)).has_value());
}

TEST(RecordFields, AddressesMustBeStrictDottedQuads) {
    ConfigRecord r = patterned();
    const ConfigRecord before = r;
    const FieldDef& ip = field("gateway");
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", " 1.2.3.4", "1.2.3.4 ", "a.b.c.d",
                            "1.2.3.-4", "1.2.3.", ".1.2.3", "1.2.3.0004", "1.2.3.4\n", "0x1.2.3.4"}) {
        EXPECT_TRUE(writeField(ip, r, bad).has_value()) << "'" << bad << "'";
        EXPECT_EQ(r, before);
    }
    ASSERT_FALSE(writeField(ip, r, "255.255.255.255").has_value());
    EXPECT_EQ(read("gateway", r), "255.255.255.255");
    ASSERT_FALSE(writeField(ip, r, "0.0.0.0").has_value());
    EXPECT_EQ(r[494], 0);
    EXPECT_EQ(r[497], 0);
    ASSERT_FALSE(writeField(ip, r, "010.1.2.3").has_value()); // decimal, not octal
    EXPECT_EQ(r[494], 10);
}

TEST(RecordFields, NumbersAreCheckedAgainstTheirRange) {
    ConfigRecord r = patterned();
    EXPECT_TRUE(writeField(field("netware_polling"), r, "1").has_value());
    EXPECT_TRUE(writeField(field("netware_polling"), r, "100").has_value());
    EXPECT_FALSE(writeField(field("netware_polling"), r, "2").has_value());
    EXPECT_FALSE(writeField(field("mail_polling"), r, "127").has_value());
    EXPECT_TRUE(writeField(field("mail_polling"), r, "0").has_value());
    EXPECT_TRUE(writeField(field("mail_polling"), r, "128").has_value());
    EXPECT_TRUE(writeField(field("dhcp_mode"), r, "3").has_value());
    EXPECT_FALSE(writeField(field("remote_lpt2"), r, "255").has_value());
    EXPECT_TRUE(writeField(field("remote_lpt2"), r, "256").has_value());
    for (const char* bad : {"", "-1", "+5", "5 ", "0x10", "99999999999999999999999999"})
        EXPECT_TRUE(writeField(field("remote_lpt2"), r, bad).has_value()) << "'" << bad << "'";

    ASSERT_FALSE(writeField(field("dhcp_range"), r, "65535").has_value());
    EXPECT_TRUE(writeField(field("dhcp_range"), r, "65536").has_value());
    ASSERT_FALSE(writeField(field("dhcp_range"), r, "258").has_value());
    EXPECT_EQ(r[474], 0x02); // little-endian
    EXPECT_EQ(r[475], 0x01);
}

TEST(RecordFields, FlagsAcceptOnOffWordsAndTouchOnlyTheirBit) {
    ConfigRecord r{};
    r[72] = 0x11; // bits 0 and 4 belong to no field
    ASSERT_FALSE(writeField(field("netbeui"), r, "on").has_value());
    ASSERT_FALSE(writeField(field("diagnostic_printout"), r, "TRUE").has_value());
    EXPECT_EQ(r[72], 0xB1);
    ASSERT_FALSE(writeField(field("netbeui"), r, "Off").has_value());
    ASSERT_FALSE(writeField(field("diagnostic_printout"), r, "false").has_value());
    EXPECT_EQ(r[72], 0x11);
    for (const char* bad : {"2", "", "yes please", "01"})
        EXPECT_TRUE(writeField(field("tcpip"), r, bad).has_value()) << bad;
    EXPECT_EQ(r[72], 0x11);
}

TEST(RecordFields, ReadOnlyFieldsRefuseEveryWrite) {
    const ConfigRecord before = patterned();
    for (const char* name : {"ethernet_address", "port_config", "parallel_ports", "serial_ports", "speed_text",
                             "cap_tcpip", "cap_remote_printer", "model_code", "version", "revision"}) {
        ConfigRecord r = before;
        const FieldDef& f = field(name);
        EXPECT_TRUE(f.readOnly) << name;
        EXPECT_TRUE(writeField(f, r, readField(f, r)).has_value()) << name;
        EXPECT_EQ(r, before) << name;
    }
    ConfigRecord r = before;
    const auto result = applyAssignments(r, {"cap_dhcp_server=1"});
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(r, before);
}

TEST(RecordFields, AssignmentsAreAllOrNothing) {
    ConfigRecord r = patterned();
    const ConfigRecord before = r;
    const auto result =
        applyAssignments(r, {"alias_name=Lab", "ip_address=10.0.0.300", "colour=blue", "tcpip", "netbeui=1"});
    EXPECT_FALSE(result.ok());
    ASSERT_EQ(result.errors.size(), 3u);
    EXPECT_NE(result.errors[0].find("ip_address"), std::string::npos);
    EXPECT_NE(result.errors[1].find("colour"), std::string::npos);
    EXPECT_NE(result.errors[2].find("tcpip"), std::string::npos);
    EXPECT_EQ(r, before); // checksum byte included
}

TEST(RecordFields, AssignmentsWriteOnlyTheirFieldsAndTheChecksum) {
    ConfigRecord r = patterned();
    const ConfigRecord before = r;
    const auto result = applyAssignments(r, {"Alias_Name=Lab=2", "mail1_server=10.1.1.9", "mail_all_lpt2=1"});
    ASSERT_TRUE(result.ok()) << result.errors.front();
    EXPECT_EQ(read("alias_name", r), "Lab=2"); // the value runs from the first '='
    EXPECT_EQ(read("mail1_server", r), "10.1.1.9");
    EXPECT_EQ(read("mail_all_lpt2", r), "1");
    std::set<std::size_t> owned;
    for (std::size_t i = 16; i < 22; ++i)
        owned.insert(i);
    for (std::size_t i = 406; i < 410; ++i)
        owned.insert(i);
    owned.insert(404);
    owned.insert(511);
    for (std::size_t i = 0; i < r.size(); ++i)
        if (!owned.count(i)) {
            EXPECT_EQ(r[i], before[i]) << "byte " << i;
        }
    EXPECT_EQ(r[511], recordChecksum(r));
}

TEST(RecordFields, ChecksumIsComputedAfreshEvenWhenTheStoredOneWasWrong) {
    ConfigRecord r = patterned();
    setRecordChecksum(r);
    r[511] ^= 0x5A;
    ASSERT_TRUE(applyAssignments(r, {}).ok());
    EXPECT_EQ(r[511], recordChecksum(r));
    Byte x = 0;
    for (std::size_t i = 0; i < 511; ++i)
        x ^= r[i];
    EXPECT_EQ(r[511], x);
}

TEST(RecordFields, LaterAssignmentToTheSameFieldWins) {
    ConfigRecord r = patterned();
    ASSERT_TRUE(applyAssignments(r, {"snmp_location=Basement", "snmp_location=Roof"}).ok());
    EXPECT_EQ(read("snmp_location", r), "Roof");
    EXPECT_EQ(r[52], 0);
    EXPECT_EQ(r[53], Byte('e')); // left over from the first text, after the terminator
}
