// How the names and texts that the storage messages quote are shown: invisible characters as
// escapes, long names shortened in the middle.
#include "storage/shown_text.hpp"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace quobel::storage {

namespace {

// One character of a text as a message shows it, and how many bytes of the text it takes.
struct ShownCharacter {
    std::size_t bytes = 1;
    std::string text;
    std::size_t width = 1;
};

// Code points that show as nothing, or as a blank that cannot be told from a space: control
// characters, joiners and marks of direction, the byte-order mark, the other blanks.
bool invisible(char32_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0xa0) || c == 0xad || c == 0x34f || c == 0x61c ||
           c == 0x115f || c == 0x1160 || c == 0x1680 || c == 0x17b4 || c == 0x17b5 ||
           (c >= 0x180b && c <= 0x180f) || (c >= 0x2000 && c <= 0x200f) ||
           (c >= 0x2028 && c <= 0x202f) || (c >= 0x205f && c <= 0x206f) || c == 0x3000 ||
           c == 0x3164 || (c >= 0xfe00 && c <= 0xfe0f) || c == 0xfeff || c == 0xffa0 ||
           (c >= 0xfff0 && c <= 0xfffb) || (c >= 0xe0000 && c <= 0xe0fff);
}

std::string hex(unsigned value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    return buffer;
}

ShownCharacter escaped(std::size_t bytes, std::string text) {
    const std::size_t width = text.size();
    return {bytes, std::move(text), width};
}

// The UTF-8 character at `at`; a byte that does not start a well-formed one shows as \xNN.
ShownCharacter shown_character(std::string_view text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    switch (byte) {
        case '\0':
            return escaped(1, "\\0");
        case '\t':
            return escaped(1, "\\t");
        case '\n':
            return escaped(1, "\\n");
        case '\r':
            return escaped(1, "\\r");
        case '\f':
            return escaped(1, "\\f");
        case '\v':
            return escaped(1, "\\v");
        case '\\':
            return escaped(1, "\\\\");
        case '"':
            return escaped(1, "\\\"");
        default:
            break;
    }
    const auto raw_byte = [&] { return escaped(1, "\\x" + hex(byte, 2)); };
    if (byte < 0x80) {
        return byte < 0x20 || byte == 0x7f ? raw_byte()
                                           : ShownCharacter{1, std::string(1, text[at])};
    }
    std::size_t length = 0;
    char32_t c = 0;
    char32_t least = 0;
    if (byte >= 0xc2 && byte <= 0xdf) {
        length = 2, c = byte & 0x1f, least = 0x80;
    } else if (byte >= 0xe0 && byte <= 0xef) {
        length = 3, c = byte & 0x0f, least = 0x800;
    } else if (byte >= 0xf0 && byte <= 0xf4) {
        length = 4, c = byte & 0x07, least = 0x10000;
    } else {
        return raw_byte();
    }
    if (at + length > text.size()) {
        return raw_byte();
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xc0) != 0x80) {
            return raw_byte();
        }
        c = (c << 6) | (next & 0x3f);
    }
    if (c < least || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff)) {
        return raw_byte();
    }
    if (invisible(c)) {
        return c > 0xffff ? escaped(length, "\\U" + hex(c, 8)) : escaped(length, "\\u" + hex(c, 4));
    }
    return {length, std::string(text.substr(at, length)), 1};
}

}  // namespace

std::string shown_text(std::string_view text, std::size_t longest) {
    std::string whole;
    std::size_t width = 0;
    std::size_t at = 0;
    while (at < text.size() && width <= longest) {
        const ShownCharacter c = shown_character(text, at);
        whole += c.text;
        width += c.width;
        at += c.bytes;
    }
    if (width <= longest) {
        return whole;
    }
    // Too long: the start and the end stay, since a name's folder and its file name are there.
    constexpr std::string_view gap = "...";
    const std::size_t half = longest > gap.size() ? (longest - gap.size()) / 2 : 0;
    std::string head;
    std::size_t head_width = 0;
    at = 0;
    for (;;) {
        const ShownCharacter c = shown_character(text, at);
        if (head_width + c.width > half) {
            break;
        }
        head += c.text;
        head_width += c.width;
        at += c.bytes;
    }
    // The end is read forward from a point far enough back to hold `half` characters of at most
    // four bytes each, moved on to the start of a character.
    std::size_t from = text.size() - std::min(text.size() - at, 4 * half + 4);
    for (int i = 0; i < 3 && from > at && (static_cast<unsigned char>(text[from]) & 0xc0) == 0x80;
         ++i) {
        ++from;
    }
    std::vector<ShownCharacter> ending;
    for (std::size_t i = from; i < text.size();) {
        ending.push_back(shown_character(text, i));
        i += ending.back().bytes;
    }
    std::size_t tail_width = 0;
    std::size_t first = ending.size();
    while (first > 0 && tail_width + ending[first - 1].width <= half) {
        --first;
        tail_width += ending[first].width;
    }
    std::string tail;
    for (std::size_t i = first; i < ending.size(); ++i) {
        tail += ending[i].text;
    }
    return head + std::string(gap) + tail;
}

std::string in_quotes(std::string_view name, std::size_t longest) {
    return "\"" + shown_text(name, longest) + "\"";
}

}  // namespace quobel::storage
