// Tests of the save and load window: the file name, the status words, and saves and loads that
// fail.
#include "windows/save_load_window.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "storage/parameter_file.hpp"
#include "support/recording_windows.hpp"
#include "support/temp_folder.hpp"
#include "support/test_data.hpp"

namespace quobel::testing {
namespace {

namespace fs = std::filesystem;

TEST(SaveLoadWindow, FirstOpenShowsTheDefaultNameAndNoWords) {
    Program program;
    program.start();
    const RecordingSaveLoadWindow& form2 = program.open_save_load();
    EXPECT_EQ(form2.file_name, "maps_data.txt");
    EXPECT_EQ(form2.saved_word, "");
    EXPECT_EQ(form2.loaded_word, "");
    EXPECT_EQ(program.state.model.data_file_name, "maps_data.txt");
}

TEST(SaveLoadWindow, ATypedNameOutlivesTheWindowAndNamesTheSavedFile) {
    TempFolder folder;
    Program program;
    program.start();
    const std::string name = folder / "my parameters.txt";
    program.open_save_load().type_file_name(name);
    EXPECT_EQ(program.state.model.data_file_name, name);
    program.windows.close_save_load_window();

    RecordingSaveLoadWindow& form2 = program.open_save_load();
    EXPECT_EQ(program.windows.save_load_windows_created, 2);
    EXPECT_EQ(form2.file_name, name);
    form2.click_save();
    EXPECT_EQ(form2.saved_word, "Saved");
    EXPECT_EQ(form2.save_reason, "");
    EXPECT_EQ(file_bytes(name), storage::parameter_file_text(program.state.model));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"my parameters.txt"});

    // Closing loses the words, not the name.
    program.windows.close_save_load_window();
    EXPECT_EQ(program.open_save_load().saved_word, "");
}

TEST(SaveLoadWindow, EachButtonSetsOnlyItsOwnWord) {
    TempFolder folder;
    Program program;
    program.start();
    RecordingSaveLoadWindow& form2 = program.open_save_load();
    form2.type_file_name(folder / "p.txt");
    form2.click_save();
    form2.click_load();
    EXPECT_EQ(form2.saved_word, "Saved");
    EXPECT_EQ(form2.loaded_word, "Loaded");

    // A second save clears its word first: a failing one leaves it empty, the other word stays.
    form2.type_file_name(folder.path().string());
    form2.click_save();
    EXPECT_EQ(form2.saved_word, "");
    EXPECT_NE(form2.save_reason, "");
    EXPECT_EQ(form2.loaded_word, "Loaded");
    form2.type_file_name(folder / "p.txt");
    form2.click_save();
    EXPECT_EQ(form2.saved_word, "Saved");
    EXPECT_EQ(form2.save_reason, "");
}

TEST(SaveLoadWindow, OpeningTwiceKeepsTheOneWindowAsItIs) {
    Program program;
    RecordingMainWindow& window = program.start();
    RecordingSaveLoadWindow& form2 = program.open_save_load();
    form2.type_file_name("half typed");
    form2.saved_word = "Saved";
    window.click(MainButton::Command6);
    EXPECT_EQ(program.windows.save_load(), &form2);
    EXPECT_EQ(program.windows.save_load_windows_created, 1);
    EXPECT_EQ(program.windows.save_load_raised, 1);
    EXPECT_EQ(form2.file_name, "half typed");
    EXPECT_EQ(form2.saved_word, "Saved");
}

TEST(SaveLoadWindow, ALoadWithTheMainWindowClosedStillLoads) {
    Program program;
    program.start();
    RecordingSaveLoadWindow& form2 = program.open_save_load();
    form2.type_file_name(test_data("two_maps.txt"));
    program.windows.close_main_window();
    ASSERT_EQ(program.windows.main_window(), nullptr);

    form2.click_load();
    EXPECT_EQ(form2.loaded_word, "Loaded");
    EXPECT_EQ(program.state.model.num_maps, 2.0);
    EXPECT_EQ(program.state.model.R(1, 1).value(), 0.1);
    // The next load of the main window shows what was loaded.
    program.windows.show_main_window();
    EXPECT_EQ(program.main().field_text(Field::Text1, 0), "0.1");
    EXPECT_EQ(program.main().field_text(Field::Text9, 0), "2");
}

TEST(SaveLoadWindow, ASaveThatFailsHalfWayKeepsThePreviousFile) {
    TempFolder folder;
    Program program;
    RecordingMainWindow& window = program.start();
    RecordingSaveLoadWindow& form2 = program.open_save_load();
    const std::string name = folder / "p.txt";
    form2.type_file_name(name);
    form2.click_save();
    const std::string previous = file_bytes(name);
    ASSERT_GT(previous.size(), 200u);

    window.type(Field::Text1, 0, "0.5");
    window.click(MainButton::Command2);
    // Files may grow to 100 bytes only, so the new text stops part of the way through.
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit saved_limit = limit;
    limit.rlim_cur = 100;
    const auto saved_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    form2.click_save();
    ::setrlimit(RLIMIT_FSIZE, &saved_limit);
    std::signal(SIGXFSZ, saved_handler);

    EXPECT_EQ(form2.saved_word, "");
    EXPECT_THAT(form2.save_reason, ::testing::EndsWith(" The previous file is unchanged."));
    EXPECT_EQ(file_bytes(name), previous);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"p.txt"});
}

TEST(SaveLoadWindow, SavesThatCannotBeDoneSayWhy) {
    TempFolder folder;
    Program program;
    program.start();
    RecordingSaveLoadWindow& form2 = program.open_save_load();
    for (const std::string& name : {std::string(), folder.path().string(), folder / "missing/p.txt",
                                    folder / "new/", folder / std::string("q.txt\0x", 7)}) {
        form2.type_file_name(folder / "p.txt");
        form2.click_save();
        ASSERT_EQ(form2.saved_word, "Saved");
        form2.type_file_name(name);
        form2.click_save();
        EXPECT_EQ(form2.saved_word, "") << name;
        EXPECT_NE(form2.save_reason, "") << name;
    }
    EXPECT_TRUE(fs::is_directory(folder.path()));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"p.txt"});
}

TEST(SaveLoadWindow, SavingThroughALinkReplacesTheFileItNames) {
    TempFolder folder;
    write_file(folder / "real.txt", "old");
    fs::create_symlink("real.txt", folder / "link.txt");
    Program program;
    program.start();
    RecordingSaveLoadWindow& form2 = program.open_save_load();
    form2.type_file_name(folder / "link.txt");
    form2.click_save();
    EXPECT_EQ(form2.saved_word, "Saved");
    EXPECT_TRUE(fs::is_symlink(folder / "link.txt"));
    EXPECT_EQ(file_bytes(folder / "real.txt"), storage::parameter_file_text(program.state.model));
}

// Everything a refused load must leave as it was.
struct Snapshot {
    model::ModelState model;
    editing::PendingEdits pending;
    std::size_t field_writes;
};

TEST(SaveLoadWindow, ARefusedLoadChangesNothing) {
    TempFolder folder;
    // A good value block followed by more than a parameter file can ever be.
    write_file(folder / "large.txt",
               file_bytes(test_data("two_maps.txt")) + std::string((1 << 20) + 1, ' '));
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);

    for (const std::string& name :
         {std::string(), folder / "absent.txt", folder.path().string(), folder / "pipe",
          folder / "large.txt", test_data("missing_field.txt"), test_data("not_a_number.txt"),
          test_data("too_many_maps.txt"), test_data("infinite_count.txt"),
          test_data("two_maps.txt") + std::string("\0x", 2)}) {
        Program program;
        RecordingMainWindow& window = program.start();
        window.type(Field::Text6, 1, "0.9");
        RecordingSaveLoadWindow& form2 = program.open_save_load();
        form2.type_file_name(test_data("three_maps.txt"));
        form2.click_load();
        ASSERT_EQ(form2.loaded_word, "Loaded");
        const Snapshot before{program.state.model, program.state.pending, window.writes.size()};

        form2.type_file_name(name);
        ::alarm(10);  // a load that hangs ends the test rather than the suite
        form2.click_load();
        ::alarm(0);
        EXPECT_EQ(form2.loaded_word, "") << name;
        EXPECT_NE(form2.load_reason, "") << name;
        model::ModelState expected = before.model;
        expected.data_file_name = name;
        EXPECT_EQ(program.state.model, expected) << name;
        EXPECT_EQ(program.state.pending, before.pending) << name;
        EXPECT_EQ(window.writes.size(), before.field_writes) << name;
    }
}

}  // namespace
}  // namespace quobel::testing
