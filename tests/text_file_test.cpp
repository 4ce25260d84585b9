// Tests of saving and reading text files: the rules a save follows on disk, and how messages show
// names and texts.
#include "storage/text_file.hpp"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <vector>

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

std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string system_reason(int error) {
    return std::strerror(error);
}

// Checks run as an unprivileged user, in a child process, with a folder of their own. The tests
// run as root in CI, where every write is allowed, so root's checks drop to the user "nobody".
class Unprivileged {
  public:
    Unprivileged() {
        if (::geteuid() != 0) {
            user_ = ::geteuid();
            group_ = ::getegid();
            return;
        }
        if (::chown(folder.path().c_str(), user_, group_) != 0) {
            why_not_ = "cannot give the test folder to an unprivileged user";
            return;
        }
        // Whether the user can be taken on and reach the folder, tried once in a child.
        const std::string report = in_child([&] {
            if (::access(folder.path().c_str(), R_OK | W_OK | X_OK) != 0) {
                ADD_FAILURE() << "the unprivileged user cannot reach " << folder.path();
            }
        });
        if (!report.empty()) {
            why_not_ = report;
        }
    }

    // Empty when the checks can run as the user, else why not.
    const std::string& why_not() const { return why_not_; }
    bool dropped_from_root() const { return ::geteuid() == 0; }

    // Runs `checks` as the user; what they find fails this test.
    void run(const std::function<void()>& checks) {
        const std::string report = in_child(checks);
        if (!report.empty()) {
            ADD_FAILURE() << "as an unprivileged user:\n" << report;
        }
    }

    TempFolder folder;

  private:
    // The failures of `checks` run in a child process as the user, or why it could not run them.
    std::string in_child(const std::function<void()>& checks) {
        int channel[2];
        if (::pipe(channel) != 0) {
            return "no pipe to a child process";
        }
        const pid_t child = ::fork();
        if (child < 0) {
            ::close(channel[0]);
            ::close(channel[1]);
            return "no child process";
        }
        if (child == 0) {
            ::close(channel[0]);
            std::string report;
            if (::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setgid(group_) != 0 || ::setuid(user_) != 0)) {
                report = "cannot become an unprivileged user: " + system_reason(errno);
            } else {
                ::testing::TestPartResultArray results;
                {
                    const ::testing::ScopedFakeTestPartResultReporter catcher(&results);
                    checks();
                }
                for (int i = 0; i < results.size(); ++i) {
                    const ::testing::TestPartResult& result = results.GetTestPartResult(i);
                    if (result.failed()) {
                        report += std::string(result.file_name() ? result.file_name() : "?") + ":" +
                                  std::to_string(result.line_number()) + ": " + result.message() +
                                  "\n";
                    }
                }
            }
            std::string_view rest = report;
            while (!rest.empty()) {
                const ssize_t wrote = ::write(channel[1], rest.data(), rest.size());
                if (wrote <= 0) {
                    break;
                }
                rest.remove_prefix(static_cast<std::size_t>(wrote));
            }
            ::_exit(0);
        }
        ::close(channel[1]);
        std::string report;
        char buffer[4096];
        for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) != 0;) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                break;
            }
            report.append(buffer, static_cast<std::size_t>(got));
        }
        ::close(channel[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            report += "the child process ended abnormally\n";
        }
        return report;
    }

    uid_t user_ = 65534;
    gid_t group_ = 65534;
    std::string why_not_;
};

TEST(TextFile, AFileTheUserMayNotWriteIsRefusedAsOpeningItWouldBe) {
    Unprivileged user;
    if (!user.why_not().empty()) {
        GTEST_SKIP() << user.why_not();
    }
    const std::string name = user.folder / "p.txt";
    user.run([&] {
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
        EXPECT_EQ(entries(user.folder.path()), std::vector<std::string>{"p.txt"});
    });
}

TEST(TextFile, InAFolderTheUserMayNotWriteAFileIsWrittenInPlace) {
    Unprivileged user;
    if (!user.why_not().empty()) {
        GTEST_SKIP() << user.why_not();
    }
    const std::string folder = user.folder / "shut";
    const std::string name = folder + "/p.txt";
    user.run([&] {
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
        write_file(name, "an old text, longer than the new one");
        ASSERT_EQ(::chmod(name.c_str(), 0640), 0);
        ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
        const struct stat before = status_of(name);

        const storage::FileOutcome saved = storage::replace_file(name, "new text");
        EXPECT_TRUE(saved.ok) << saved.reason;
        EXPECT_EQ(file_bytes(name), "new text");
        const struct stat after = status_of(name);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode & 07777, 0640u);
        EXPECT_EQ(entries(folder), std::vector<std::string>{"p.txt"});

        // A new file cannot be made there at all; there was no previous file to speak of.
        const std::string fresh = folder + "/q.txt";
        const storage::FileOutcome refused = storage::replace_file(fresh, "text");
        EXPECT_FALSE(refused.ok);
        EXPECT_EQ(refused.reason,
                  "Cannot create \"" + fresh + "\": " + system_reason(EACCES) + ".");
        EXPECT_EQ(entries(folder), std::vector<std::string>{"p.txt"});
    });
}

TEST(TextFile, AFileOfAnotherOwnerKeepsItsOwner) {
    Unprivileged user;
    if (!user.why_not().empty() || !user.dropped_from_root()) {
        GTEST_SKIP() << "needs root to make a file of another owner " << user.why_not();
    }
    // The user may write root's file and replace it in the folder, but could not give it back.
    const std::string name = user.folder / "shared.txt";
    write_file(name, "old");
    ASSERT_EQ(::chmod(name.c_str(), 0666), 0);
    const struct stat before = status_of(name);
    user.run([&] {
        const storage::FileOutcome saved = storage::replace_file(name, "new");
        EXPECT_TRUE(saved.ok) << saved.reason;
        EXPECT_EQ(file_bytes(name), "new");
        EXPECT_EQ(entries(user.folder.path()), std::vector<std::string>{"shared.txt"});
    });
    const struct stat after = status_of(name);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST(TextFile, HardLinksKeepSharingTheSavedText) {
    TempFolder folder;
    write_file(folder / "a.txt", "old");
    fs::create_hard_link(folder / "a.txt", folder / "b.txt");

    const storage::FileOutcome saved = storage::replace_file(folder / "a.txt", "new");
    EXPECT_TRUE(saved.ok) << saved.reason;
    EXPECT_EQ(file_bytes(folder / "a.txt"), "new");
    EXPECT_EQ(file_bytes(folder / "b.txt"), "new");
    EXPECT_EQ(status_of(folder / "a.txt").st_nlink, 2u);
    EXPECT_EQ(status_of(folder / "a.txt").st_ino, status_of(folder / "b.txt").st_ino);
    EXPECT_EQ(entries(folder.path()), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST(TextFile, ADanglingLinkMakesTheFileItNames) {
    TempFolder folder;
    fs::create_directory(folder / "sub");
    // A relative link to an absolute one to a file still to be made.
    fs::create_symlink(folder / "sub/real.txt", folder / "sub/absolute");
    fs::create_symlink("sub/absolute", folder / "link.txt");

    const storage::FileOutcome saved = storage::replace_file(folder / "link.txt", "text");
    EXPECT_TRUE(saved.ok) << saved.reason;
    EXPECT_TRUE(fs::is_symlink(folder / "link.txt"));
    EXPECT_TRUE(fs::is_symlink(folder / "sub/absolute"));
    EXPECT_EQ(file_bytes(folder / "sub/real.txt"), "text");
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(status_of(folder / "sub/real.txt").st_mode & 07777, 0666 & ~mask);
    EXPECT_EQ(entries(folder / "sub"), (std::vector<std::string>{"absolute", "real.txt"}));
}

TEST(TextFile, ALinkLoopIsRefusedAsTheLoadRefusesIt) {
    TempFolder folder;
    fs::create_symlink("b", folder / "a");
    fs::create_symlink("a", folder / "b");

    const storage::FileOutcome saved = storage::replace_file(folder / "a", "text");
    EXPECT_FALSE(saved.ok);
    EXPECT_EQ(saved.reason, "Cannot write \"" + folder / "a" + "\": " + system_reason(ELOOP) + ".");
    std::string text;
    const storage::FileOutcome loaded = storage::read_text_file(folder / "a", 100, "a file", text);
    EXPECT_EQ(loaded.reason, "Cannot open \"" + folder / "a" + "\": " + system_reason(ELOOP) + ".");
    EXPECT_TRUE(fs::is_symlink(folder / "a"));
    EXPECT_TRUE(fs::is_symlink(folder / "b"));
    EXPECT_EQ(entries(folder.path()), (std::vector<std::string>{"a", "b"}));
}

TEST(TextFile, NamesAsLongAsTheFolderAllowsSaveAndLoad) {
    TempFolder folder;
    std::vector<std::string> names;
    for (std::size_t length = 248; length <= 255; ++length) {
        names.push_back(std::string(length, 'n'));
    }
    // 127 two-byte characters and one more byte: 255 bytes.
    std::string accented;
    for (int i = 0; i < 127; ++i) {
        accented += "\xC3\xA9";
    }
    names.push_back(accented + "x");
    for (const std::string& name : names) {
        for (const char* text : {"first", "second"}) {
            const storage::FileOutcome saved = storage::replace_file(folder / name, text);
            EXPECT_TRUE(saved.ok) << name.size() << ": " << saved.reason;
            std::string loaded;
            EXPECT_TRUE(storage::read_text_file(folder / name, 100, "a file", loaded).ok);
            EXPECT_EQ(loaded, text);
        }
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(entries(folder.path()), names);

    // One byte more is the system's refusal of the name, not of the folder.
    const std::string too_long = folder / std::string(256, 'n');
    const storage::FileOutcome refused = storage::replace_file(too_long, "text");
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.reason.find(system_reason(ENAMETOOLONG)), std::string::npos)
        << refused.reason;
    EXPECT_EQ(refused.reason.find("previous"), std::string::npos) << refused.reason;
}

TEST(TextFile, MessagesShowInvisibleCharactersAndShortenLongNames) {
    EXPECT_EQ(storage::shown_text("maps_data.txt", 80), "maps_data.txt");
    EXPECT_EQ(storage::shown_text("donn\xC3\xA9"
                                  "es.txt",
                                  80),
              "donn\xC3\xA9"
              "es.txt");
    EXPECT_EQ(storage::shown_text("\xEF\xBB\xBF.5", 80), "\\uFEFF.5");
    EXPECT_EQ(storage::shown_text(std::string_view(".5\0", 3), 80), ".5\\0");
    EXPECT_EQ(storage::shown_text(".5\f", 80), ".5\\f");
    EXPECT_EQ(storage::shown_text("a\tb\x01", 80), "a\\tb\\x01");
    EXPECT_EQ(storage::shown_text("zero\xE2\x80\x8Bwidth", 80), "zero\\u200Bwidth");
    EXPECT_EQ(storage::shown_text("tag\xF3\xA0\x80\x81", 80), "tag\\U000E0001");
    EXPECT_EQ(storage::shown_text("bad\xFF\xC3", 80), "bad\\xFF\\xC3");
    EXPECT_EQ(storage::shown_text("say \"hi\" \\", 80), "say \\\"hi\\\" \\\\");

    // 38 characters either side of the gap; characters of several bytes stay whole.
    std::string accented;
    for (int i = 0; i < 100; ++i) {
        accented += "\xC3\xA9";
    }
    std::string kept;
    for (int i = 0; i < 38; ++i) {
        kept += "\xC3\xA9";
    }
    EXPECT_EQ(storage::shown_text(accented, 80), kept + "..." + kept);
    EXPECT_EQ(storage::shown_text(std::string(80, 'a'), 80), std::string(80, 'a'));
    EXPECT_EQ(storage::shown_text(std::string(81, 'a'), 80),
              std::string(38, 'a') + "..." + std::string(38, 'a'));

    // A save under a name of 5000 characters, and under one the system takes, in a folder that
    // does not exist.
    for (const std::size_t length : {4976, 176}) {
        const std::string name = "/no-such-folder/" + std::string(length, 'x') + "-end.txt";
        const storage::FileOutcome refused = storage::replace_file(name, "text");
        EXPECT_FALSE(refused.ok);
        EXPECT_EQ(refused.reason,
                  std::string(length > 4000 ? "Cannot write" : "Cannot create") +
                      " \"/no-such-folder/" + std::string(22, 'x') + "..." + std::string(30, 'x') +
                      "-end.txt\": " + system_reason(length > 4000 ? ENAMETOOLONG : ENOENT) + ".");
    }
}

}  // namespace
}  // namespace quobel::testing
