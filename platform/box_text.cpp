#include "platform/box_text.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ustring.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace vnk::platform {

namespace {

const char* converterName(CodePage page) {
    switch (page) {
    case CodePage::Windows1252: return "windows-1252";
    case CodePage::Big5: return "Big5";
    }
    return "windows-1252";
}

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter openConverter(CodePage page) {
    UErrorCode status = U_ZERO_ERROR;
    Converter c(ucnv_open(converterName(page), &status));
    return U_SUCCESS(status) ? std::move(c) : Converter{};
}

std::u16string toUtf16(std::string_view utf8) {
    std::u16string out(utf8.size() + 1, u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), int32_t(out.size()), &length, utf8.data(),
                         int32_t(utf8.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        return {};
    out.resize(std::size_t(length));
    return out;
}

std::string toUtf8(std::u16string_view text) {
    std::string out(text.size() * 3 + 1, '\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), int32_t(out.size()), &length, reinterpret_cast<const UChar*>(text.data()),
                       int32_t(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        return {};
    out.resize(std::size_t(length));
    return out;
}

bool isAscii(std::string_view bytes) {
    for (unsigned char c : bytes)
        if (c >= 0x80)
            return false;
    return true;
}

} // namespace

bool isValidUtf8(std::string_view bytes) {
    if (bytes.empty())
        return true;
    // A preflight conversion that stops at the first ill-formed sequence
    // (overlong forms and surrogates included).
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(nullptr, 0, &length, bytes.data(), int32_t(bytes.size()), &status);
    return status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status);
}

std::string decodeBoxText(std::string_view bytes, CodePage page) {
    if (isValidUtf8(bytes))
        return std::string(bytes);
    Converter c = openConverter(page);
    if (!c)
        return terminalSafe(bytes);
    std::u16string wide(bytes.size() * 2 + 1, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = ucnv_toUChars(c.get(), reinterpret_cast<UChar*>(wide.data()), int32_t(wide.size()),
                                         bytes.data(), int32_t(bytes.size()), &status);
    if (U_FAILURE(status))
        return terminalSafe(bytes);
    wide.resize(std::size_t(length));
    return toUtf8(wide);
}

std::string encodeBoxText(std::string_view text, CodePage page) {
    if (isAscii(text))
        return std::string(text);
    if (Converter c = openConverter(page)) {
        UErrorCode status = U_ZERO_ERROR;
        // A character the code page has no form for stops the conversion
        // instead of turning into a substitute byte.
        ucnv_setFromUCallBack(c.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
        const std::u16string wide = toUtf16(text);
        std::string out(wide.size() * 2 + 1, '\0');
        const int32_t length = ucnv_fromUChars(c.get(), out.data(), int32_t(out.size()),
                                               reinterpret_cast<const UChar*>(wide.data()), int32_t(wide.size()),
                                               &status);
        if (U_SUCCESS(status) && !wide.empty()) {
            out.resize(std::size_t(length));
            // Code-page bytes that happen to be UTF-8 would read back as another text.
            if (decodeBoxText(out, page) == text)
                return out;
        }
    }
    return std::string(text);
}

std::string bytesForShownText(std::string_view shown, std::string_view original, CodePage page) {
    if (shown == decodeBoxText(original, page))
        return std::string(original);
    return encodeBoxText(shown, page);
}

std::string terminalSafe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    auto escape = [&](unsigned char c) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        out += hex;
    };
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            escape(c);
            ++i;
            continue;
        }
        if (c < 0x80) {
            out += char(c);
            ++i;
            continue;
        }
        std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        if (i + length > text.size() || !isValidUtf8(text.substr(i, length))) {
            escape(c);
            ++i;
            continue;
        }
        // C1 controls (U+0080-U+009F, encoded C2 80 - C2 9F) act on terminals too.
        if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            escape(static_cast<unsigned char>(text[i + 1]));
            i += 2;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

} // namespace vnk::platform
