// Reading and safely replacing the small text files the program saves: parameter files, exports.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quobel::storage {

// What a save or a load came to; reason says why it failed, in the user's words.
struct FileOutcome {
    bool ok = false;
    std::string reason;
};

// Replaces the file `name` by `text` so that the previous file survives any failure: the text
// goes to a temporary file in the same folder, is flushed to disk, and only then takes the
// target's place by a rename. A link is followed, so it keeps naming the file; the permissions of
// a replaced file are kept. Refuses an empty name and a target that is not a regular file.
FileOutcome replace_file(const std::string& name, std::string_view text);

// Reads a whole regular file of at most `largest` bytes into `text`. A name that turns out to be
// a pipe or a device is refused without waiting on it. `kind` names what the file should be in a
// refusal ("a parameter file").
FileOutcome read_text_file(const std::string& name, std::size_t largest, std::string_view kind,
                           std::string& text);

// The name in double quotes, for messages.
std::string in_quotes(std::string_view name);

}  // namespace quobel::storage
