// Carrying owner, group, access control list and user attributes to a replacement file.
#include "storage/file_attributes.hpp"

#include <acl/libacl.h>
#include <sys/acl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

namespace quobel::storage::detail {

namespace {

// A file system that keeps no such thing has nothing to carry.
bool not_kept(int error) {
    return error == ENOTSUP || error == ENOSYS;
}

// The names of the file's `user.*` attributes, or nothing with errno set.
bool user_attribute_names(int fd, std::vector<std::string>& names) {
    std::string list;
    for (;;) {
        const ssize_t length = ::flistxattr(fd, nullptr, 0);
        if (length < 0) {
            return not_kept(errno);
        }
        list.resize(static_cast<std::size_t>(length));
        const ssize_t got = ::flistxattr(fd, list.data(), list.size());
        if (got >= 0) {
            list.resize(static_cast<std::size_t>(got));
            break;
        }
        if (errno != ERANGE) {  // ERANGE: the list grew in between
            return false;
        }
    }
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t end = list.find('\0', start);
        const std::string_view name(list.data() + start,
                                    (end == std::string::npos ? list.size() : end) - start);
        if (name.starts_with("user.")) {
            names.emplace_back(name);
        }
        start = end == std::string::npos ? list.size() : end + 1;
    }
    return true;
}

bool carry_user_attributes(int old, int fresh) {
    std::vector<std::string> names;
    if (!user_attribute_names(old, names)) {
        return false;
    }
    for (const std::string& name : names) {
        std::string value;
        ssize_t got = -1;
        do {
            const ssize_t length = ::fgetxattr(old, name.c_str(), nullptr, 0);
            if (length < 0) {
                return false;
            }
            value.resize(static_cast<std::size_t>(length));
            got = ::fgetxattr(old, name.c_str(), value.data(), value.size());
        } while (got < 0 && errno == ERANGE);
        if (got < 0 ||
            ::fsetxattr(fresh, name.c_str(), value.data(), static_cast<std::size_t>(got), 0) != 0) {
            return false;
        }
    }
    return true;
}

// The old file's ACL replaces whatever the new one took from its folder's default ACL, which
// could grant more than the old file did.
bool carry_access_control_list(int old, int fresh) {
    const acl_t list = ::acl_get_fd(old);
    if (list == nullptr) {
        return not_kept(errno);
    }
    const bool carried = ::acl_set_fd(fresh, list) == 0;
    const int error = errno;
    ::acl_free(list);
    errno = error;
    return carried;
}

}  // namespace

int carry_attributes(int old, const struct stat& old_info, int fresh) {
    struct stat info {};
    if (::fstat(fresh, &info) != 0) {
        return errno;
    }
    // A folder with the setgid bit gives new files its group; the file keeps its own.
    if ((info.st_uid != old_info.st_uid || info.st_gid != old_info.st_gid) &&
        ::fchown(fresh, old_info.st_uid, old_info.st_gid) != 0) {
        return errno;
    }
    // Attributes first: the permissions set last may forbid the owner to write them.
    if (!carry_user_attributes(old, fresh) || !carry_access_control_list(old, fresh) ||
        ::fchmod(fresh, old_info.st_mode & 01777) != 0) {
        return errno;
    }
    return 0;
}

}  // namespace quobel::storage::detail
