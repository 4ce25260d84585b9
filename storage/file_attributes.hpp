// Giving a replacement file everything of the file it replaces that says who may do what with it.
#pragma once

#include <sys/stat.h>

namespace quobel::storage::detail {

// Gives the file open in `fresh` the owner, group, access control list, `user.*` attributes and
// permissions of the file open in `old` (described by `old_info`), without its setuid and setgid
// bits: a save replaces the text, and never lets more people do more with it. 0, or the system's
// error when any of it cannot be carried, and the replacement would then not be the same file.
int carry_attributes(int old, const struct stat& old_info, int fresh);

}  // namespace quobel::storage::detail
