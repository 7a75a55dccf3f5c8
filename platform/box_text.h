// The texts a box keeps (names, contacts, mail accounts) are 8-bit bytes in
// whatever code page the PC that wrote them had. One rule turns them into what
// we show, and back:
//   shown:  the bytes themselves when they are valid UTF-8 (a tool of ours wrote
//           them), otherwise decoded from the utility's 8-bit code page;
//   stored: a text the user typed goes into the code page when every character
//           has a form there that reads back as the same text, else as UTF-8;
//   kept:   a text the user did not change goes back as exactly the bytes read.
// Limits of a field count stored bytes, never characters.
#pragma once

#include <string>
#include <string_view>

namespace vnk::platform {

enum class CodePage {
    Windows1252, // the IP utility and the command-line front end
    Big5,        // the IPX utility and the setup wizard
};

bool isValidUtf8(std::string_view bytes);

// UTF-8 text to show for bytes read from a box.
std::string decodeBoxText(std::string_view bytes, CodePage page);

// Bytes to store for a text (UTF-8) the user typed.
std::string encodeBoxText(std::string_view text, CodePage page);

// What to store for a field that shows `shown` and was filled from `original`:
// the original bytes when the text was left as it was shown, else its encoding.
std::string bytesForShownText(std::string_view shown, std::string_view original, CodePage page);

// A UTF-8 text made safe for a terminal: control characters (C0, DEL, C1) and
// bytes that are not UTF-8 become \xNN, so nothing from the network can move
// the cursor, set a title or forge a line.
std::string terminalSafe(std::string_view text);

} // namespace vnk::platform
