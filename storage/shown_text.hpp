// How the storage messages show the names and texts they quote.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quobel::storage {

// A text as a message shows it: characters that would show as nothing or as a plain blank
// (control characters, a byte-order mark, NUL), backslashes, quotes and bytes that are not UTF-8
// written as escapes (\t, \0, \uFEFF, \xFF); beyond `longest` characters, the middle left out.
std::string shown_text(std::string_view text, std::size_t longest);

// The longest file name a message shows whole.
inline constexpr std::size_t longest_shown_name = 80;

// The name in double quotes, shown as shown_text shows it, for messages.
std::string in_quotes(std::string_view name, std::size_t longest = longest_shown_name);

}  // namespace quobel::storage
