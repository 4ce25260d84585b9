// The commands of quobel-cli: reading the command line, the parameter file and writing results.
#include "cli/command_line.hpp"
#include "cli/arguments.hpp"
#include "cli/reports.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "analysis/boundary_exponents.hpp"
#include "analysis/ensemble.hpp"
#include "analysis/long_run.hpp"
#include "model/number_text.hpp"
#include "model/version.hpp"
#include "storage/parameter_file.hpp"
#include "storage/text_file.hpp"
#include "storage/trajectory_csv.hpp"
#include "sweep/sweep.hpp"
#include "sweep/sweep_csv.hpp"

namespace quobel::cli {

namespace {

using sweep::number_text;

constexpr std::string_view help_text =
    R"(quobel-cli: the analysis of Quobel's random maps without a display.

Usage:
  quobel-cli analyse FILE [--json]
  quobel-cli run FILE [--steps N] [--burn-in B] [--seed S] [--start R] [--bins K]
                 [--chains C] [--json] [--trajectory OUT.csv]
  quobel-cli sweep FILE --vary NAME=FROM:TO:COUNT [--vary NAME=FROM:TO:COUNT] [run options]
                   [--shard I/N] [--threads T] --out OUT.csv
  quobel-cli merge OUT.csv SHARD.csv...
  quobel-cli --help | --version

FILE is a parameter file as Quobel saves it.
analyse   the boundary exponents Lambda_0 and Lambda_1, the verdict, its flags, the Kelly
          portfolio and each map's slopes at 0 and 1.
run       a long run without drawing: steps 1000000, burn-in 10000, seed 1, start 0.5, 100 bins
          unless given; --trajectory writes its last 1000 steps. --chains C (1 to 256, 1
          unless given) runs C independent chains of the seed from the same start and pools
          them: steps, recorded, draws and the histogram of all the chains together, mean_r
          and lyapunov over every recorded point, each error bar twice, from the chains'
          batches and from the spread between the chains' own means (JSON: "chains",
          "mean_r_chain_error", "lyapunov_chain_error"); --trajectory then writes chain 0's
          last steps. Chain 0 is the run without --chains.
sweep     NAME as the file's listing names it: R(2,3), la1(1,2), la2(3,1), prob(2). Each value
          replaces that component and its vector is renormalised as "Recalculate !!!" does.
          One --vary is a line, two a plane (the first changes slowest). A row per point with
          the exponents and the verdict, and with --steps above 0 the run's mean_r, lyapunov,
          their standard errors and, for a line, the density; last the point's flags, joined
          by "; ": why its values have no renormalisation, or the flags analyse gives there.
          The point whose values are all the file's own is the file itself. Each point's run
          is the chain of --seed numbered by the point's index (point 0 runs as run does), so
          threads and shards give the same rows.
          --shard I/N computes the I-th of N contiguous blocks of the grid; --threads defaults
          to every core.
          OUT.csv holds the header and the rows, nothing else, so that any reader of CSV takes
          it as it is. Beside it OUT.json (".csv" replaced, else ".json" appended) holds the
          settings: the version, the parameters' fingerprint, every option, the grid and the
          shard's points. Standard output (-) and other streams get the CSV alone, and no
          settings file: merge takes only files with theirs.
merge     joins the shards of one sweep into the files the whole sweep writes, OUT.csv and
          OUT.json. Each SHARD.csv needs its SHARD.json beside it; the settings files must
          agree and the shards cover the grid once.

An output named - is standard output. A name that is not a regular file (/dev/stdout,
/dev/fd/N, a device, a pipe) is written as it is open, appending where the shell appends;
a file is replaced only once its new text is complete, so a command interrupted (Ctrl-C,
SIGTERM) leaves no file behind.
JSON numbers are JSON numbers when finite and the strings "inf", "-inf" and "nan" when
not; text output and sweep files spell NaN "nan" whatever its sign. A burn-in must leave
steps to record: --burn-in B with --steps N above 0 needs B < N. A run whose error bars
disagree between batches of two lengths says "error bars may be too small: run longer"
among its flags (and "errors_may_be_too_small" in JSON).

Exit status: 0 done, 1 a refused file or a failed write, 2 a wrong command line.
)";

struct RunOptions {
    analysis::LongRunSettings settings;
    double start = 0.5;
};

// Takes the run options among the items; the failure when one is out of range.
Outcome read_run_option(const Arguments::Item& item, RunOptions& run, bool& taken) {
    taken = true;
    const std::string& v = item.value;
    const auto bad = [&](std::string_view what) {
        return usage(item.name + " takes " + std::string(what) + ", not " + storage::in_quotes(v) +
                     ".");
    };
    if (item.name == "--steps") {
        const auto n = whole<std::int64_t>(v);
        if (!n || *n < 0 || *n > analysis::max_long_run_steps) {
            return bad("a whole number from 0 to " + std::to_string(analysis::max_long_run_steps));
        }
        run.settings.steps = *n;
    } else if (item.name == "--burn-in") {
        const auto n = whole<std::int64_t>(v);
        if (!n || *n < 0 || *n > analysis::max_long_run_steps) {
            return bad("a whole number from 0 to " + std::to_string(analysis::max_long_run_steps));
        }
        run.settings.burn_in = *n;
    } else if (item.name == "--seed") {
        const auto n = whole<std::uint64_t>(v);
        if (!n) {
            return bad("a whole number from 0 to 18446744073709551615");
        }
        run.settings.seed = *n;
    } else if (item.name == "--start") {
        const auto r = model::parse_decimal(v);
        if (!r || !(*r >= 0 && *r <= 1)) {
            return bad("a number from 0 to 1");
        }
        run.start = *r;
    } else if (item.name == "--bins") {
        const auto n = whole<int>(v);
        if (!n || *n < 1 || *n > analysis::max_bins) {
            return bad("a whole number from 1 to " + std::to_string(analysis::max_bins));
        }
        run.settings.bins = *n;
    } else {
        taken = false;
    }
    return std::nullopt;
}

// A run that would record nothing is refused; otherwise the burn-in counts within the run, which
// for a sweep of the exponents alone (no steps) makes it 0.
Outcome settle(RunOptions& run) {
    if (const std::string refusal = analysis::run_settings_refusal(run.settings);
        !refusal.empty()) {
        return usage(refusal);
    }
    run.settings.burn_in = std::min(run.settings.burn_in, run.settings.steps);
    return std::nullopt;
}

// An output's name as the user gave it: an empty one is a mistake of the command line.
Outcome output_name_problem(std::string_view option, const std::string& name) {
    if (name.empty()) {
        return usage(std::string(option) +
                     " names no file: give a file name, or - for standard output.");
    }
    return std::nullopt;
}

// Writes an output the command line names, through the one unit that saves files. "-" is
// standard output, written where it stands, as the shell opened it; after whatever the command
// already wrote there.
Outcome write_output(const std::string& name, std::ostream& out,
                     const std::function<void(const storage::TextPieces&)>& produce) {
    storage::FileOutcome written;
    if (name == "-") {
        out.flush();
        written = storage::write_standard_output(name, produce);
    } else {
        written = storage::replace_file_with(name, produce);
    }
    if (!written.ok) {
        return refused(written.reason);
    }
    return std::nullopt;
}

// write_output for a sweep's CSV, whose settings go into a file beside it; a stream takes the CSV
// alone.
Outcome write_sweep_output(const std::string& name, std::ostream& out,
                           const std::function<void(const storage::TextPieces&)>& produce,
                           const std::string& settings) {
    if (name == "-") {
        return write_output(name, out, produce);
    }
    const storage::FileOutcome written = sweep::save_sweep(name, produce, settings);
    if (!written.ok) {
        return refused(written.reason);
    }
    return std::nullopt;
}

Result<model::ModelState> load(const std::string& name) {
    model::ModelState model;
    const storage::FileOutcome outcome = storage::load_parameter_file(model, name);
    if (!outcome.ok) {
        // Reasons about the contents do not name the file; those about opening it do.
        const std::string quoted = storage::in_quotes(name);
        return refused(outcome.reason.find(quoted) == std::string::npos
                           ? quoted + ": " + outcome.reason
                           : outcome.reason);
    }
    return model;
}

Outcome analyse(const std::vector<std::string>& args, std::ostream& out) {
    Arguments arguments(args);
    if (auto f = arguments.parse({}, {"--json"})) {
        return f;
    }
    std::optional<std::string> file;
    bool json = false;
    for (const auto& item : arguments.items()) {
        if (item.name.empty()) {
            if (file) {
                return usage("analyse takes one FILE.");
            }
            file = item.value;
        } else {
            json = true;
        }
    }
    if (!file) {
        return usage("analyse needs a parameter FILE.");
    }
    auto model = load(*file);
    if (!model.ok()) {
        return model.failure();
    }
    analysis_report(analysis::boundary_exponents(*model), json, out);
    return std::nullopt;
}

Outcome run(const std::vector<std::string>& args, std::ostream& out) {
    Arguments arguments(args);
    if (auto f = arguments.parse(
            {"--steps", "--burn-in", "--seed", "--start", "--bins", "--chains", "--trajectory"},
            {"--json"})) {
        return f;
    }
    std::optional<std::string> file;
    std::optional<std::string> trajectory;
    bool json = false;
    int chains = 1;
    RunOptions options;
    for (const auto& item : arguments.items()) {
        bool taken = false;
        if (auto f = read_run_option(item, options, taken)) {
            return f;
        }
        if (taken) {
            continue;
        }
        if (item.name.empty()) {
            if (file) {
                return usage("run takes one FILE.");
            }
            file = item.value;
        } else if (item.name == "--json") {
            json = true;
        } else if (item.name == "--chains") {
            const auto n = whole<int>(item.value);
            if (!n || *n < 1 || *n > analysis::max_chains) {
                return usage("--chains takes a whole number from 1 to " +
                             std::to_string(analysis::max_chains) + ", not " +
                             storage::in_quotes(item.value) + ".");
            }
            chains = *n;
        } else if (auto f = output_name_problem("--trajectory", item.value)) {
            return f;
        } else {
            trajectory = item.value;
        }
    }
    if (!file) {
        return usage("run needs a parameter FILE.");
    }
    if (auto f = settle(options)) {
        return f;
    }
    auto model = load(*file);
    if (!model.ok()) {
        return model.failure();
    }
    const analysis::LongRun long_run(*model, options.start, options.settings);
    analysis::LongRunControl control;
    const analysis::EnsembleResult result = analysis::run_ensemble(long_run, chains, control);
    if (trajectory) {
        const std::string csv = storage::trajectory_csv_text(result.pooled.last_steps);
        if (auto f = write_output(*trajectory, out,
                                  [&csv](const storage::TextPieces& put) { put(csv); })) {
            return f;
        }
    }
    const std::vector<analysis::Flag> flags = analysis::boundary_exponents(*model).flags;
    if (json) {
        run_json(result, flags, out);
    } else {
        run_text(result, flags, out);
    }
    return std::nullopt;
}

// What `sweep` was asked for.
struct SweepRequest {
    std::optional<std::string> file;
    std::optional<std::string> out_name;
    RunOptions options;
    sweep::SweepSettings settings;
    std::int64_t shard = 1;
    std::int64_t shards = 1;
    int threads = sweep::core_count();
};

// The sweep's own options: --vary, --shard, --threads and --out.
Outcome read_sweep_option(const Arguments::Item& item, SweepRequest& request) {
    if (item.name == "--vary") {
        sweep::AxisRead read = sweep::parse_axis(item.value);
        if (!read.axis) {
            return usage(read.reason);
        }
        if (request.settings.axes.size() == 2) {
            return usage("sweep takes one or two --vary.");
        }
        request.settings.axes.push_back(*read.axis);
    } else if (item.name == "--shard") {
        const auto slash = item.value.find('/');
        const auto i = whole<std::int64_t>(std::string_view(item.value).substr(0, slash));
        const auto n = slash == std::string::npos
                           ? std::nullopt
                           : whole<std::int64_t>(std::string_view(item.value).substr(slash + 1));
        if (!i || !n || *n < 1 || *n > sweep::max_grid_size || *i < 1 || *i > *n) {
            return usage("--shard takes I/N with 1 <= I <= N, not " +
                         storage::in_quotes(item.value) + ".");
        }
        request.shard = *i;
        request.shards = *n;
    } else if (item.name == "--threads") {
        const auto t = whole<int>(item.value);
        if (!t || *t < 1 || *t > 1024) {
            return usage("--threads takes a whole number from 1 to 1024, not " +
                         storage::in_quotes(item.value) + ".");
        }
        request.threads = *t;
    } else if (auto f = output_name_problem("--out", item.value)) {
        return f;
    } else {
        request.out_name = item.value;
    }
    return std::nullopt;
}

// Why the sweep cannot run, in the command line's terms.
Failure sweep_failure(const sweep::SweepProblem& problem, const sweep::SweepSettings& settings) {
    return usage(sweep::problem_text(problem, settings, "--vary"));
}

// The sweep's request read from the command line and checked as far as it can be without the
// parameter file.
Result<SweepRequest> read_sweep_request(const std::vector<std::string>& args) {
    Arguments arguments(args);
    if (auto f = arguments.parse({"--vary", "--steps", "--burn-in", "--seed", "--start", "--bins",
                                  "--shard", "--threads", "--out"},
                                 {})) {
        return *f;
    }
    SweepRequest request;
    for (const auto& item : arguments.items()) {
        bool taken = false;
        if (auto f = read_run_option(item, request.options, taken)) {
            return *f;
        }
        if (taken) {
            continue;
        }
        if (!item.name.empty()) {
            if (auto f = read_sweep_option(item, request)) {
                return *f;
            }
        } else if (request.file) {
            return usage("sweep takes one FILE.");
        } else {
            request.file = item.value;
        }
    }
    if (!request.file) {
        return usage("sweep needs a parameter FILE.");
    }
    const sweep::SweepProblem problem = sweep::sweep_problem(nullptr, request.settings, {});
    if (problem.kind == sweep::SweepProblem::Kind::axes) {
        return sweep_failure(problem, request.settings);
    }
    if (!request.out_name) {
        return usage("sweep needs --out OUT.csv.");
    }
    if (problem) {
        return sweep_failure(problem, request.settings);
    }
    if (auto f = settle(request.options)) {
        return *f;
    }
    request.settings.run = request.options.settings;
    request.settings.start = request.options.start;
    return request;
}

// Rows go to the file in grid order as they come, a few at a time, so a sweep of any size holds
// only the points in progress.
Outcome write_sweep(const model::ModelState& model, const SweepRequest& request,
                    std::ostream& out) {
    const sweep::SweepSettings& settings = request.settings;
    const auto range =
        sweep::shard_range(sweep::grid_size(settings), request.shard, request.shards);
    const std::int64_t first = range.first;
    const std::int64_t last = range.second;
    const auto write_rows = [&](const storage::TextPieces& put) {
        put(sweep::header_line(settings));
        std::string rows;
        sweep::SweepControl control;
        sweep::run_sweep(model, settings, first, last, request.threads, control,
                         [&](const sweep::PointResult& point) {
                             rows += sweep::row_line(settings, point);
                             if (rows.size() >= 1 << 16) {
                                 put(rows);
                                 rows.clear();
                             }
                         });
        put(rows);
    };
    return write_sweep_output(*request.out_name, out, write_rows,
                              sweep::settings_json(model, settings, first, last));
}

Outcome sweep_command(const std::vector<std::string>& args, std::ostream& out) {
    auto request = read_sweep_request(args);
    if (!request.ok()) {
        return request.failure();
    }
    auto model = load(*request->file);
    if (!model.ok()) {
        return model.failure();
    }
    if (const auto problem = sweep::sweep_problem(&*model, request->settings, {})) {
        return sweep_failure(problem, request->settings);
    }
    return write_sweep(*model, *request, out);
}

// A shard file, read where it lies and open only while it is read.
class ShardFile final : public sweep::ShardText {
  public:
    using ShardText::ShardText;
    ~ShardFile() override { release(); }

    std::size_t read_at(std::uint64_t offset, std::span<char> buffer) override {
        if (fd_ < 0) {
            open();
        }
        for (;;) {
            const ssize_t got =
                ::pread(fd_, buffer.data(), buffer.size(), static_cast<off_t>(offset));
            if (got >= 0) {
                return static_cast<std::size_t>(got);
            }
            if (errno != EINTR) {
                throw sweep::MergeFailure("Cannot read " + storage::in_quotes(name()) + ": " +
                                          std::strerror(errno) + ".");
            }
        }
    }

    std::string settings() override {
        const std::string settings_name = sweep::settings_file_name(name());
        struct stat info {};
        if (::stat(settings_name.c_str(), &info) != 0 && errno == ENOENT) {
            throw sweep::MergeFailure(storage::in_quotes(name()) + " has no settings file " +
                                      storage::in_quotes(settings_name) + " beside it.");
        }
        std::string text;
        const storage::FileOutcome read = storage::read_text_file(settings_name, largest_settings,
                                                                  "a sweep's settings file", text);
        if (!read.ok) {
            throw sweep::MergeFailure(read.reason);
        }
        return text;
    }

    void release() override {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

  private:
    // Far more than the settings of two axes take.
    static constexpr std::size_t largest_settings = std::size_t{1} << 16;

    // Non-blocking, so that a name that turns out to be a pipe is refused without waiting on it.
    void open() {
        fd_ = ::open(name().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            throw sweep::MergeFailure("Cannot open " + storage::in_quotes(name()) + ": " +
                                      std::strerror(errno) + ".");
        }
        struct stat info {};
        if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
            release();
            throw sweep::MergeFailure(storage::in_quotes(name()) + " is not a regular file.");
        }
    }

    int fd_ = -1;
};

// The shards are checked before the output is touched, then streamed into it: a merge holds a
// piece of a shard at a time, whatever their sizes.
Outcome merge(const std::vector<std::string>& args, std::ostream& out) {
    Arguments arguments(args);
    if (auto f = arguments.parse({}, {})) {
        return f;
    }
    const auto& items = arguments.items();
    if (items.size() < 2) {
        return usage("merge needs OUT.csv and at least one SHARD.csv.");
    }
    if (auto f = output_name_problem("merge's OUT.csv", items[0].value)) {
        return f;
    }
    std::vector<std::unique_ptr<ShardFile>> files;
    std::vector<sweep::ShardText*> shards;
    for (std::size_t i = 1; i < items.size(); ++i) {
        files.push_back(std::make_unique<ShardFile>(items[i].value));
        shards.push_back(files.back().get());
    }
    const sweep::MergeCheck checked = sweep::check_shards(shards);
    if (!checked.plan) {
        return refused(checked.reason);
    }
    try {
        return write_sweep_output(
            items[0].value, out,
            [&](const storage::TextPieces& put) { sweep::write_merged(*checked.plan, put); },
            checked.plan->settings);
    } catch (const sweep::MergeFailure& failure) {
        // A file keeps its previous text, though no longer the settings file that went first so
        // that the two never disagree; only a stream can have taken part of the merge.
        return refused(std::string(failure.what()) + " " + storage::in_quotes(items[0].value) +
                       " is as it was, without its settings file, unless it is a stream, which "
                       "may hold part of the merge.");
    }
}

}  // namespace

int run_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "quobel-cli: no command given; quobel-cli --help lists them.\n";
        return exit_usage;
    }
    const std::string& command = args.front();
    if (command == "--help" || command == "-h") {
        out << help_text;
        return exit_ok;
    }
    if (command == "--version") {
        out << "quobel-cli " << model::version << "\n";
        return exit_ok;
    }
    Outcome failure;
    if (command == "analyse") {
        failure = analyse(args, out);
    } else if (command == "run") {
        failure = run(args, out);
    } else if (command == "sweep") {
        failure = sweep_command(args, out);
    } else if (command == "merge") {
        failure = merge(args, out);
    } else {
        failure = usage("unknown command " + storage::in_quotes(command) +
                        "; quobel-cli --help lists them.");
    }
    if (failure) {
        err << "quobel-cli: " << failure->message << "\n";
        return failure->status;
    }
    return exit_ok;
}

}  // namespace quobel::cli
