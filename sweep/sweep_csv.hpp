// The files of a sweep: a CSV of a header and one row per grid point in grid order, and beside it
// a JSON file of the settings that made it. Shards of one sweep merge into the files the whole
// sweep writes, byte for byte.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/model_state.hpp"
#include "storage/text_file.hpp"
#include "sweep/sweep.hpp"

namespace quobel::sweep {

// The shortest text that reads back as the same double (std::to_chars): "inf", "-inf" and, whatever
// its sign bit, "nan" for non-finite values.
std::string number_text(double value);

// A fingerprint of the parameters a sweep starts from: the counts and every value in use, bit for
// bit, so shards computed from different files are told apart.
std::uint64_t parameters_fingerprint(const model::ModelState& model);

// The settings file's JSON object: the program and its version, the parameters' fingerprint, every
// setting, and last, on a line of its own, the points [first, last) of the grid's size the CSV
// holds. Shards of one sweep differ only in that line. The CSV itself holds nothing but its
// header and rows, so that any reader of tables takes it as it is.
std::string settings_json(const model::ModelState& model, const SweepSettings& settings,
                          std::int64_t first, std::int64_t last);

// The settings file beside a CSV: its name with a trailing ".csv" replaced by ".json", else with
// ".json" appended.
std::string settings_file_name(const std::string& csv_name);

// Whether the output `name` gets a settings file beside it: a file does; standard output ("-")
// and a name for a stream or a device (in /dev or /proc, or anything but a regular file) do not.
bool takes_settings_file(const std::string& name);

// Saves a sweep's CSV as `name` with storage's safe replacement (`produce` hands it piece by
// piece), then `settings` beside it where takes_settings_file(name). A settings file already
// there goes first, so that no interruption leaves a CSV beside another sweep's settings.
storage::FileOutcome save_sweep(const std::string& name,
                                const std::function<void(const storage::TextPieces&)>& produce,
                                const std::string& settings);

// The varied parameters, lambda_0, lambda_1, verdict; with a run mean_r, mean_r_stderr, lyapunov,
// lyapunov_stderr and, for a line, density_1..density_K; last the flags, all of the point's in
// one field (quoted as CSV needs), empty when it has none.
std::string header_line(const SweepSettings& settings);
// The header's names, unquoted.
std::vector<std::string> column_names(const SweepSettings& settings);

// The point's flags joined by "; ".
std::string flags_text(const PointResult& point);

std::string row_line(const SweepSettings& settings, const PointResult& point);
// The row's fields: a number, or a text (the verdict and the flags), by column_names.
using Cell = std::variant<double, std::string>;
std::vector<Cell> row_cells(const SweepSettings& settings, const PointResult& point);

// A shard's text as a merge reads it: piece by piece from any offset, so that no shard is held
// whole, whatever its size. A file for quobel-cli.
class ShardText {
  public:
    explicit ShardText(std::string name) : name_(std::move(name)) {}
    ShardText(const ShardText&) = delete;
    ShardText& operator=(const ShardText&) = delete;
    virtual ~ShardText() = default;

    // The name that messages about the shard give.
    const std::string& name() const { return name_; }
    // Fills `buffer` with the text from `offset` on, as far as it goes: how many bytes, 0 at the
    // text's end. A failure throws MergeFailure with a reason that names the shard.
    virtual std::size_t read_at(std::uint64_t offset, std::span<char> buffer) = 0;
    // The whole text of the shard's settings file. Throws MergeFailure with a reason that names
    // both files where there is none beside the shard, or it cannot be read.
    virtual std::string settings() = 0;
    // Lets go of what reading holds (an open file) until the next read, so that a merge of
    // thousands of shards holds one at a time.
    virtual void release() {}

  private:
    std::string name_;
};

// Why a merge stopped: a shard or its settings file that cannot be read, or a shard that no
// longer reads as it was checked.
class MergeFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Shards of one sweep checked to merge: the whole sweep's header and settings file, and where the
// rows of each non-empty shard lie, in grid order.
struct MergePlan {
    struct Rows {
        ShardText* shard = nullptr;
        std::uint64_t from = 0;  // byte offsets
        std::uint64_t to = 0;
        std::int64_t count = 0;
    };
    std::string header;
    std::string settings;
    std::vector<Rows> rows;
};

// The plan, or why the shards do not merge.
struct MergeCheck {
    std::optional<MergePlan> plan;
    std::string reason;
};

// Refuses shards unless their settings files name the same settings and together cover the grid
// exactly once, each shard with all of its rows. Each shard's settings file and header are read
// and checked before anything else (a file that is no sweep is refused at once); its rows are then
// counted piece by piece, so memory stays bounded whatever the shards' sizes.
MergeCheck check_shards(const std::vector<ShardText*>& shards);

// Hands the whole sweep's CSV to `put` in pieces: the same bytes the whole sweep writes. Throws
// MergeFailure should a shard no longer hold the rows it was checked with.
void write_merged(const MergePlan& plan, const std::function<void(std::string_view)>& put);

}  // namespace quobel::sweep
