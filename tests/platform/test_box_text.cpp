// The one rule for the boxes' 8-bit texts: how bytes are shown, how a typed text
// is stored, and that a text left alone goes back as the bytes it came from.
#include "platform/box_text.h"

#include <gtest/gtest.h>

using namespace vnk::platform;

TEST(BoxText, ShowsUtf8AsItIsAndOtherBytesInTheCodePage) {
    EXPECT_EQ(decodeBoxText("PLAIN-1", CodePage::Windows1252), "PLAIN-1");
    EXPECT_EQ(decodeBoxText("Caf\xC3\xA9", CodePage::Windows1252), "Café");       // UTF-8
    EXPECT_EQ(decodeBoxText("CAF\xC9-PS", CodePage::Windows1252), "CAFÉ-PS");     // 1252
    EXPECT_EQ(decodeBoxText("\x80\x99", CodePage::Windows1252), "€™");
    EXPECT_EQ(decodeBoxText("\xA7\xA7", CodePage::Windows1252), "§§");
    EXPECT_EQ(decodeBoxText("\xA4\xA4\xA4\xE5", CodePage::Big5), "中文");           // Big5
    // Overlong forms and surrogates are not UTF-8.
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));
    EXPECT_TRUE(isValidUtf8("\xE4\xB8\xAD"));
}

TEST(BoxText, StoresTypedTextInTheCodePageWhenItReadsBackTheSame) {
    EXPECT_EQ(encodeBoxText("Zürich", CodePage::Windows1252), "Z\xFCrich");
    EXPECT_EQ(encodeBoxText("中文", CodePage::Big5), "\xA4\xA4\xA4\xE5");
    // No form in the code page: UTF-8.
    EXPECT_EQ(encodeBoxText("Ωmega", CodePage::Windows1252), "\xCE\xA9mega");
    // In the code page, "Ã©" is C3 A9, which reads back as "é": UTF-8 keeps it.
    EXPECT_EQ(encodeBoxText("Ã©", CodePage::Windows1252), "\xC3\x83\xC2\xA9");
    for (const char* text : {"Zürich", "Ã©", "Ωmega", "€ 5"})
        EXPECT_EQ(decodeBoxText(encodeBoxText(text, CodePage::Windows1252), CodePage::Windows1252), text);
}

TEST(BoxText, TextLeftAloneKeepsItsBytes) {
    // UTF-8 bytes shown as "Café" would be stored as E9 if re-encoded.
    EXPECT_EQ(bytesForShownText("Café", "Caf\xC3\xA9", CodePage::Windows1252), "Caf\xC3\xA9");
    EXPECT_EQ(bytesForShownText("CAFÉ-PS", "CAF\xC9-PS", CodePage::Windows1252), "CAF\xC9-PS");
    EXPECT_EQ(bytesForShownText("Café!", "Caf\xC3\xA9", CodePage::Windows1252), "Caf\xE9!");
}

TEST(BoxText, TerminalSafeEscapesControlsAndStrayBytes) {
    EXPECT_EQ(terminalSafe("\x1b]0;X\x07\x1b[2JEVIL\r\nFAKE"), "\\x1b]0;X\\x07\\x1b[2JEVIL\\x0d\\x0aFAKE");
    EXPECT_EQ(terminalSafe("Café \xC2\x9B" "1m \x7F"), "Café \\x9b1m \\x7f"); // C1 CSI and DEL
    EXPECT_EQ(terminalSafe("ok\xFF\xE4\xB8"), "ok\\xff\\xe4\\xb8");
}
