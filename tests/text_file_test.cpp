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

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>

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

}  // namespace
}  // namespace quobel::testing
