// Tests of saving and reading text files: the rules a save follows on disk, and how messages show
// names and texts.
#include "storage/text_file.hpp"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>

#include "storage/new_file.hpp"

#include "support/recording_windows.hpp"
#include "support/temp_folder.hpp"

namespace quobel::testing {
namespace {

namespace fs = std::filesystem;

struct stat status_of(const std::string& name) {
    struct stat info {};
    EXPECT_EQ(::lstat(name.c_str(), &info), 0) << name;
    return info;
}

std::string system_reason(int error) {
    return std::strerror(error);
}

// Runs `checks` in a child process as an unprivileged user, with `folder` made that user's: root
// may write anything, so root's tests drop to the user nobody. Gives the failures of the checks,
// or nothing when no unprivileged user can be taken on.
std::optional<std::string> as_unprivileged_user(const TempFolder& folder,
                                                const std::function<void()>& checks) {
    constexpr uid_t nobody = 65534;
    const bool root = ::geteuid() == 0;
    std::FILE* report = std::tmpfile();
    if (report == nullptr || (root && ::chown(folder.path().c_str(), nobody, nobody) != 0)) {
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if ((root &&
             (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)) ||
            ::access(folder.path().c_str(), W_OK | X_OK) != 0) {
            ::_exit(77);
        }
        ::testing::TestPartResultArray results;
        {
            const ::testing::ScopedFakeTestPartResultReporter catcher(&results);
            checks();
        }
        for (int i = 0; i < results.size(); ++i) {
            const ::testing::TestPartResult& result = results.GetTestPartResult(i);
            std::fprintf(report, "%s:%d: %s\n", result.file_name() ? result.file_name() : "?",
                         result.line_number(), result.message());
        }
        std::fflush(report);
        ::_exit(0);
    }
    int status = 0;
    std::optional<std::string> failures;
    if (child > 0 && ::waitpid(child, &status, 0) == child &&
        !(WIFEXITED(status) && WEXITSTATUS(status) == 77)) {
        failures.emplace(WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : "crashed\n");
        std::rewind(report);
        for (int c; (c = std::fgetc(report)) != EOF;) {
            failures->push_back(static_cast<char>(c));
        }
    }
    std::fclose(report);
    return failures;
}

TEST(TextFile, AFileTheUserMayNotWriteIsRefusedAsOpeningItWouldBe) {
    TempFolder folder;
    const std::string name = folder / "p.txt";
    const auto failures = as_unprivileged_user(folder, [&] {
        write_file(name, "old");
        ASSERT_EQ(::chmod(name.c_str(), 0444), 0);
        ASSERT_EQ(::open(name.c_str(), O_WRONLY), -1);
        const std::string opening = system_reason(errno);

        Program program;
        program.start();
        RecordingSaveLoadWindow& form2 = program.open_save_load();
        form2.type_file_name(name);
        form2.click_save();
        EXPECT_EQ(form2.saved_word, "");
        EXPECT_EQ(form2.save_reason, "Cannot write \"" + name + "\": " + opening +
                                         ". The previous file is unchanged.");
        EXPECT_EQ(file_bytes(name), "old");
        EXPECT_EQ(status_of(name).st_mode & 07777, 0444u);
        EXPECT_EQ(folder.entries(), std::vector<std::string>{"p.txt"});
    });
    if (!failures) {
        GTEST_SKIP() << "no unprivileged user to run as";
    }
    EXPECT_EQ(*failures, "");
}

TEST(TextFile, InAFolderTheUserMayNotWriteAFileIsWrittenInPlace) {
    TempFolder folder;
    const std::string shut = folder / "shut";
    const auto failures = as_unprivileged_user(folder, [&] {
        ASSERT_EQ(::mkdir(shut.c_str(), 0755), 0);
        write_file(shut + "/p.txt", "an old text, longer than the new one");
        ASSERT_EQ(::chmod((shut + "/p.txt").c_str(), 0640), 0);
        ASSERT_EQ(::chmod(shut.c_str(), 0555), 0);
        const ino_t file = status_of(shut + "/p.txt").st_ino;

        const storage::FileOutcome saved = storage::replace_file(shut + "/p.txt", "new text");
        EXPECT_TRUE(saved.ok) << saved.reason;
        EXPECT_EQ(file_bytes(shut + "/p.txt"), "new text");
        EXPECT_EQ(status_of(shut + "/p.txt").st_ino, file);
        EXPECT_EQ(status_of(shut + "/p.txt").st_mode & 07777, 0640u);

        // No new file can be made there, and there was no previous file to speak of.
        const storage::FileOutcome refused = storage::replace_file(shut + "/q.txt", "text");
        EXPECT_EQ(refused.reason,
                  "Cannot create \"" + shut + "/q.txt\": " + system_reason(EACCES) + ".");
        EXPECT_EQ(fs::exists(shut + "/q.txt"), false);
    });
    if (!failures) {
        GTEST_SKIP() << "no unprivileged user to run as";
    }
    EXPECT_EQ(*failures, "");
}

TEST(TextFile, AFileOfAnotherOwnerKeepsItsOwner) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can make a file of another owner";
    }
    // The user may write root's file and could replace it in the folder, but not give it back.
    TempFolder folder;
    const std::string name = folder / "shared.txt";
    write_file(name, "old");
    ASSERT_EQ(::chmod(name.c_str(), 0666), 0);
    const auto failures = as_unprivileged_user(folder, [&] {
        EXPECT_TRUE(storage::replace_file(name, "new").ok);
        EXPECT_EQ(file_bytes(name), "new");
    });
    if (!failures) {
        GTEST_SKIP() << "no unprivileged user to run as";
    }
    EXPECT_EQ(*failures, "");
    EXPECT_EQ(status_of(name).st_uid, 0u);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"shared.txt"});
}

TEST(TextFile, LinksKeepNamingTheSavedText) {
    TempFolder folder;
    // Hard links share the new text.
    write_file(folder / "a.txt", "old");
    fs::create_hard_link(folder / "a.txt", folder / "b.txt");
    EXPECT_TRUE(storage::replace_file(folder / "a.txt", "new").ok);
    EXPECT_EQ(file_bytes(folder / "b.txt"), "new");
    EXPECT_EQ(status_of(folder / "a.txt").st_nlink, 2u);

    // A dangling link makes the file it names.
    fs::create_directory(folder / "sub");
    fs::create_symlink("sub/real.txt", folder / "link.txt");
    EXPECT_TRUE(storage::replace_file(folder / "link.txt", "text").ok);
    EXPECT_TRUE(fs::is_symlink(folder / "link.txt"));
    EXPECT_EQ(file_bytes(folder / "sub/real.txt"), "text");

    // A loop is refused with the reason the load gives.
    fs::create_symlink("y", folder / "x");
    fs::create_symlink("x", folder / "y");
    const std::string reason = "\"" + folder / "x" + "\": " + system_reason(ELOOP) + ".";
    EXPECT_EQ(storage::replace_file(folder / "x", "text").reason, "Cannot write " + reason);
    std::string text;
    EXPECT_EQ(storage::read_text_file(folder / "x", 9, "", text).reason, "Cannot open " + reason);
    EXPECT_TRUE(fs::is_symlink(folder / "x"));
    EXPECT_EQ(folder.entries(),
              (std::vector<std::string>{"a.txt", "b.txt", "link.txt", "sub", "x", "y"}));
}

TEST(TextFile, AStreamedTextArrivesWholeOrNotAtAll) {
    TempFolder folder;
    const auto pieces = [](const storage::TextPieces& put) {
        for (const char* piece : {"one,", "", "two,", "three\n"}) {
            put(piece);
        }
    };
    EXPECT_TRUE(storage::replace_file_with(folder / "a.txt", pieces).ok);
    EXPECT_EQ(file_bytes(folder / "a.txt"), "one,two,three\n");
    // Written in place where the file has another name: gathered first, the same text.
    fs::create_hard_link(folder / "a.txt", folder / "b.txt");
    write_file(folder / "b.txt", "old");
    EXPECT_TRUE(storage::replace_file_with(folder / "a.txt", pieces).ok);
    EXPECT_EQ(file_bytes(folder / "b.txt"), "one,two,three\n");
    // A target that cannot be written is refused before any text is made.
    bool produced = false;
    EXPECT_FALSE(storage::replace_file_with(folder / "no/c.txt", [&](const storage::TextPieces&) {
                     produced = true;
                 }).ok);
    EXPECT_FALSE(produced);
    // A text whose making fails leaves neither the file nor a temporary file behind.
    EXPECT_THROW(storage::replace_file_with(folder / "c.txt",
                                            [](const storage::TextPieces& put) {
                                                put("part");
                                                throw std::runtime_error("no more");
                                            }),
                 std::runtime_error);
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST(TextFile, NamesAsLongAsTheFolderAllowsSaveAndLoad) {
    TempFolder folder;
    std::vector<std::string> names;
    for (std::size_t length = 248; length <= 255; ++length) {
        names.push_back(std::string(length, 'n'));
    }
    for (const std::string& name : names) {
        for (const char* text : {"first", "second"}) {
            const storage::FileOutcome saved = storage::replace_file(folder / name, text);
            EXPECT_TRUE(saved.ok) << name.size() << ": " << saved.reason;
            EXPECT_EQ(file_bytes(folder / name), text);
        }
    }
    EXPECT_EQ(folder.entries(), names);
    // One byte more is the system's refusal of the name, not of the folder.
    const std::string too_long = folder / std::string(256, 'n');
    EXPECT_EQ(storage::replace_file(too_long, "text").reason,
              "Cannot write \"" + too_long.substr(0, 38) + "..." + std::string(38, 'n') +
                  "\": " + system_reason(ENAMETOOLONG) + ".");
}

TEST(TextFile, MessagesShowInvisibleCharactersAndShortenLongNames) {
    EXPECT_EQ(storage::shown_text("donn\xC3\xA9s.txt", 80), "donn\xC3\xA9s.txt");
    EXPECT_EQ(storage::shown_text("a\tb\x01 \"q\" \\", 80), "a\\tb\\x01 \\\"q\\\" \\\\");
    EXPECT_EQ(storage::shown_text("zero\xE2\x80\x8Bwidth\xFF", 80), "zero\\u200Bwidth\\xFF");
    // 38 characters either side of the gap; characters of several bytes stay whole.
    std::string accented;
    for (int i = 0; i < 100; ++i) {
        accented += "\xC3\xA9";
    }
    EXPECT_EQ(storage::shown_text(accented, 80),
              accented.substr(0, 76) + "..." + accented.substr(0, 76));
    EXPECT_EQ(storage::shown_text(std::string(80, 'a'), 80), std::string(80, 'a'));

    // Saves under a name of 5000 characters, and under one the system takes, where no folder is.
    for (const std::size_t length : {4976, 176}) {
        const std::string name = "/no-such-folder/" + std::string(length, 'x') + "-end.txt";
        EXPECT_EQ(storage::replace_file(name, "text").reason,
                  std::string(length > 4000 ? "Cannot write" : "Cannot create") +
                      " \"/no-such-folder/" + std::string(22, 'x') + "..." + std::string(30, 'x') +
                      "-end.txt\": " + system_reason(length > 4000 ? ENAMETOOLONG : ENOENT) + ".");
    }
}

// Starts writing `name` in a child process, ends the child with `signal` while the text is half
// written and gives the child's exit status. `folder` is looked at half way: its entries then.
struct Interrupted {
    int status = 0;
    std::vector<std::string> half_way;
};

Interrupted interrupt_save(const TempFolder& folder, const std::string& name, int signal,
                           storage::detail::Naming naming) {
    int half_written[2];
    EXPECT_EQ(::pipe(half_written), 0);
    const auto tell_and_wait = [&] {
        const char byte = 'h';
        EXPECT_EQ(::write(half_written[1], &byte, 1), 1);
        ::pause();
    };
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(half_written[0]);
        if (naming == storage::detail::Naming::unnamed) {
            storage::replace_file_with(name, [&](const storage::TextPieces& put) {
                put("the first half of a new text\n");
                tell_and_wait();
                put("the second half\n");
            });
        } else {
            storage::detail::NewFile file;
            if (file.make(name, true, naming) == 0 && ::write(file.fd(), "half", 4) == 4) {
                tell_and_wait();
            }
        }
        ::_exit(0);
    }
    ::close(half_written[1]);
    Interrupted interrupted;
    char byte = 0;
    if (::read(half_written[0], &byte, 1) == 1) {
        interrupted.half_way = folder.entries();
        ::kill(child, signal);
    }
    ::close(half_written[0]);
    ::waitpid(child, &interrupted.status, 0);
    return interrupted;
}

TEST(TextFile, AnInterruptedSaveLeavesTheFolderAsItWas) {
    TempFolder folder;
    write_file(folder / "a.txt", "old");
    const std::vector<std::string> before{"a.txt"};
    for (const int signal : {SIGKILL, SIGINT, SIGTERM}) {
        for (const char* name : {"a.txt", "b.txt"}) {
            const Interrupted interrupted =
                interrupt_save(folder, folder / name, signal, storage::detail::Naming::unnamed);
            EXPECT_TRUE(WIFSIGNALED(interrupted.status) && WTERMSIG(interrupted.status) == signal)
                << name << " " << signal;
            // The text being written has no name at all.
            EXPECT_EQ(interrupted.half_way, before) << name << " " << signal;
            EXPECT_EQ(folder.entries(), before) << name << " " << signal;
        }
    }
    EXPECT_EQ(file_bytes(folder / "a.txt"), "old");

    // Where a file system makes no unnamed file: a named one, removed on each interruption, and
    // the program ends as the signal ends it.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const Interrupted interrupted = interrupt_save(folder, folder / "a.txt", signal,
                                                       storage::detail::Naming::temporary_name);
        EXPECT_TRUE(WIFSIGNALED(interrupted.status) && WTERMSIG(interrupted.status) == signal)
            << signal;
        EXPECT_EQ(interrupted.half_way.size(), 2u) << signal;
        EXPECT_EQ(folder.entries(), before) << signal;
    }
    EXPECT_EQ(file_bytes(folder / "a.txt"), "old");
}

// The value of an extended attribute, or nothing where the file has none.
std::optional<std::string> attribute(const std::string& name, const char* key) {
    std::string value(4096, '\0');
    const ssize_t length = ::getxattr(name.c_str(), key, value.data(), value.size());
    if (length < 0) {
        return std::nullopt;
    }
    value.resize(static_cast<std::size_t>(length));
    return value;
}

constexpr const char* access_list = "system.posix_acl_access";

TEST(TextFile, AccessControlListsAndUserAttributesSurviveASave) {
    TempFolder folder;
    const std::string probe = folder / "probe";
    write_file(probe, "");
    if (std::system(("setfacl -m u:1234:rw " + probe + " 2>/dev/null").c_str()) != 0 ||
        ::setxattr(probe.c_str(), "user.probe", "1", 1, 0) != 0) {
        GTEST_SKIP() << "no setfacl, or a file system without ACLs or user attributes";
    }
    fs::remove(probe);
    const std::string name = folder / "p.txt";
    const std::string inherits = folder / "inherits";
    const auto failures = as_unprivileged_user(folder, [&] {
        // User 1234 may write, the owning group may not.
        write_file(name, "old");
        ASSERT_EQ(std::system(("setfacl -m u:1234:rw,g::---,m::rw,o::--- " + name).c_str()), 0);
        ASSERT_EQ(::setxattr(name.c_str(), "user.origin", "kept", 4, 0), 0);
        const std::optional<std::string> list = attribute(name, access_list);
        ASSERT_TRUE(list);
        const struct stat old = status_of(name);

        const storage::FileOutcome saved = storage::replace_file(name, "new");
        EXPECT_TRUE(saved.ok) << saved.reason;
        EXPECT_EQ(file_bytes(name), "new");
        EXPECT_NE(status_of(name).st_ino, old.st_ino);  // replaced, not written over
        EXPECT_EQ(attribute(name, access_list), list);
        EXPECT_EQ(attribute(name, "user.origin"), "kept");
        EXPECT_EQ(status_of(name).st_mode & 07777, old.st_mode & 07777);

        // A folder's default list would grant user 1234 what the old file did not.
        ASSERT_EQ(::mkdir(inherits.c_str(), 0755), 0);
        ASSERT_EQ(std::system(("setfacl -d -m u:1234:rw,o::rw " + inherits).c_str()), 0);
        write_file(inherits + "/q.txt", "old");
        ASSERT_EQ(std::system(("setfacl -b " + inherits + "/q.txt").c_str()), 0);
        ASSERT_EQ(::chmod((inherits + "/q.txt").c_str(), 0600), 0);
        EXPECT_TRUE(storage::replace_file(inherits + "/q.txt", "new").ok);
        EXPECT_EQ(file_bytes(inherits + "/q.txt"), "new");
        EXPECT_EQ(attribute(inherits + "/q.txt", access_list), std::nullopt);
        EXPECT_EQ(status_of(inherits + "/q.txt").st_mode & 07777, 0600u);
    });
    if (!failures) {
        GTEST_SKIP() << "no unprivileged user to run as";
    }
    EXPECT_EQ(*failures, "");
}

TEST(TextFile, AFileKeepsItsGroupInAFolderThatGivesItsOwn) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give a folder a group the user is not in";
    }
    TempFolder folder;
    const std::string shared = folder / "shared";
    ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(::chown(shared.c_str(), 0, 1000), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 02777), 0);
    const std::string name = shared + "/p.txt";
    const auto failures = as_unprivileged_user(folder, [&] {
        write_file(name, "old");
        ASSERT_EQ(status_of(name).st_gid, 1000u);
        ASSERT_EQ(::chown(name.c_str(), static_cast<uid_t>(-1), ::getegid()), 0);
        ASSERT_EQ(::chmod(name.c_str(), 0640), 0);
        const ino_t file = status_of(name).st_ino;

        const storage::FileOutcome saved = storage::replace_file(name, "new");
        EXPECT_TRUE(saved.ok) << saved.reason;
        EXPECT_EQ(file_bytes(name), "new");
        EXPECT_NE(status_of(name).st_ino, file);
        EXPECT_EQ(status_of(name).st_gid, ::getegid());
        EXPECT_EQ(status_of(name).st_mode & 07777, 0640u);
    });
    if (!failures) {
        GTEST_SKIP() << "no unprivileged user to run as";
    }
    EXPECT_EQ(*failures, "");
}

TEST(TextFile, AReplacedFileNeverCarriesSetuidOrSetgid) {
    TempFolder folder;
    const auto save_cleared = [](const std::string& name) {
        write_file(name, "old");
        ASSERT_EQ(::chmod(name.c_str(), 06755), 0);
        ASSERT_EQ(status_of(name).st_mode & 07777, 06755u);
        const ino_t file = status_of(name).st_ino;

        const storage::FileOutcome saved = storage::replace_file(name, "new");
        EXPECT_TRUE(saved.ok) << saved.reason;
        EXPECT_NE(status_of(name).st_ino, file);
        EXPECT_EQ(status_of(name).st_mode & 07777, 0755u);
    };
    // Writing clears the bits for an ordinary user only; root's save must clear them itself.
    save_cleared(folder / "own-tool");
    const auto failures = as_unprivileged_user(folder, [&] { save_cleared(folder / "tool"); });
    if (!failures) {
        GTEST_SKIP() << "no unprivileged user to run as";
    }
    EXPECT_EQ(*failures, "");
}

TEST(TextFile, UnderAFileSizeLimitTheOldTextStaysByteForByte) {
    TempFolder folder;
    std::string old;
    for (int line = 0; line < 30; ++line) {
        old += "an old line " + std::to_string(line) + "\n";
    }
    const std::string large(2000, 'n');
    const auto failures = as_unprivileged_user(folder, [&] {
        write_file(folder / "a.txt", old);
        write_file(folder / "h.txt", old);
        fs::create_hard_link(folder / "h.txt", folder / "h2.txt");  // written over in place
        rlimit limit{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit saved_limit = limit;
        limit.rlim_cur = 100;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        // SIGXFSZ is left at its default: the save itself keeps the program alive.
        const storage::FileOutcome whole = storage::replace_file(folder / "a.txt", large);
        const storage::FileOutcome pieces =
            storage::replace_file_with(folder / "a.txt", [&](const storage::TextPieces& put) {
                for (int piece = 0; piece < 40; ++piece) {
                    put(large.substr(0, 50));
                }
            });
        const storage::FileOutcome in_place = storage::replace_file(folder / "h.txt", large);
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved_limit), 0);

        const std::string limit_reason =
            "the text is larger than the largest file this program may write (100 bytes). The "
            "previous file is unchanged.";
        EXPECT_EQ(whole.reason, "Cannot write \"" + folder / "a.txt" + "\": " + limit_reason);
        EXPECT_EQ(pieces.reason, whole.reason);
        EXPECT_EQ(in_place.reason, "Cannot write \"" + folder / "h.txt" +
                                       "\": the new text takes 2000 bytes, more than the largest "
                                       "file this program may write (100 bytes). The previous "
                                       "file is unchanged.");
        EXPECT_EQ(file_bytes(folder / "a.txt"), old);
        EXPECT_EQ(file_bytes(folder / "h.txt"), old);
        EXPECT_EQ(folder.entries(), (std::vector<std::string>{"a.txt", "h.txt", "h2.txt"}));
    });
    if (!failures) {
        GTEST_SKIP() << "no unprivileged user to run as";
    }
    EXPECT_EQ(*failures, "");
}

// The text at the descriptor's file from its start.
std::string descriptor_bytes(int fd) {
    std::string text(4096, '\0');
    const ssize_t length = ::pread(fd, text.data(), text.size(), 0);
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return text;
}

TEST(TextFile, StreamsAreWrittenAsTheyAreOpen) {
    TempFolder folder;
    // A log the shell opened for appending ("--out /dev/stdout >> log.txt"), under each name a
    // descriptor goes by, and through a link to one.
    write_file(folder / "log.txt", "earlier\n");
    const int log = ::open((folder / "log.txt").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(log, 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(::dup2(log, STDOUT_FILENO) == STDOUT_FILENO &&
                        ::dup2(log, STDERR_FILENO) == STDERR_FILENO &&
                        storage::replace_file("/dev/stdout", "one\n").ok &&
                        storage::replace_file("/dev/stderr", "two\n").ok
                    ? 0
                    : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string fd = std::to_string(log);
    fs::create_symlink("/dev/fd/" + fd, folder / "out.csv");
    for (const std::string& name : {"/dev/fd/" + fd, "/proc/self/fd/" + fd, folder / "out.csv"}) {
        const storage::FileOutcome saved = storage::replace_file(name, "more\n");
        EXPECT_TRUE(saved.ok) << name << ": " << saved.reason;
    }
    EXPECT_EQ(file_bytes(folder / "log.txt"), "earlier\none\ntwo\nmore\nmore\nmore\n");
    EXPECT_TRUE(fs::is_symlink(folder / "out.csv"));
    ::close(log);
    EXPECT_EQ(storage::replace_file("/dev/fd/" + fd, "text").reason,
              "\"/dev/fd/" + fd + "\" stands for descriptor " + fd +
                  ", which this program does not have open.");

    // A file deleted while open is written through its descriptor, and no file takes its name.
    const int gone = ::open((folder / "gone.csv").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(gone, 0);
    ASSERT_EQ(::unlink((folder / "gone.csv").c_str()), 0);
    EXPECT_TRUE(storage::replace_file("/proc/self/fd/" + std::to_string(gone), "rows\n").ok);
    EXPECT_EQ(descriptor_bytes(gone), "rows\n");
    ::close(gone);

    // A device stays a device; a pipe is written when something reads it, refused otherwise.
    EXPECT_TRUE(storage::replace_file("/dev/null", "text").ok);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    const std::string pipe = folder / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(storage::replace_file(pipe, "text").reason,
              "\"" + pipe + "\" is a pipe that nothing reads from.");
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(storage::replace_file(pipe, "through the pipe").ok);
    char got[32] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 16);
    EXPECT_STREQ(got, "through the pipe");
    ::close(reader);

    // What cannot be written says what the name is.
    const std::string socket_name = folder / "socket";
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socket_name.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socket_name.c_str());
    ASSERT_EQ(::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(storage::replace_file(socket_name, "text").reason,
              "\"" + socket_name + "\" is a socket, which takes no text by its name.");
    ::close(socket);
    const std::string comm = file_bytes("/proc/self/comm");
    EXPECT_EQ(storage::replace_file("/proc/self/comm", "renamed").reason,
              "\"/proc/self/comm\" is a file the system keeps about itself (in /proc or /sys), not "
              "one a save can replace.");
    EXPECT_EQ(file_bytes("/proc/self/comm"), comm);
    EXPECT_EQ(storage::replace_file("/proc/self/exe", "text").reason,
              "\"/proc/self/exe\" is a link the system keeps in /proc, not the name of a file a "
              "save can replace.");
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"log.txt", "out.csv", "pipe", "socket"}));
}

}  // namespace
}  // namespace quobel::testing
