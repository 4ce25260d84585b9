// How quobel-cli reads the options after its command, and the one-line failures it reports.
#pragma once

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "cli/command_line.hpp"
#include "storage/shown_text.hpp"

namespace quobel::cli {

// A failure to report: the one line and the exit status.
struct Failure {
    int status = exit_usage;
    std::string message;
};

inline Failure usage(std::string message) {
    return {exit_usage, std::move(message)};
}
inline Failure refused(std::string message) {
    return {exit_refused, std::move(message)};
}

// What a step of a command gives: its value, or the failure that ends the command. A command's own
// steps return a failure in one line (`return usage("...");`) and pass one on just as briefly.
template <class T>
class Result {
  public:
    // Implicit, so that a step returns its value or its failure alike.
    Result(T value) : value_(std::move(value)) {}
    Result(Failure failure) : failure_(std::move(failure)) {}

    bool ok() const { return !failure_; }
    T& operator*() { return *value_; }
    T* operator->() { return &*value_; }
    const Failure& failure() const { return *failure_; }

  private:
    std::optional<T> value_;
    std::optional<Failure> failure_;
};

// What a command or a step without a value gives: nothing when it succeeded.
using Outcome = std::optional<Failure>;

// The options after the command, in order, with their values.
class Arguments {
  public:
    explicit Arguments(const std::vector<std::string>& args)
        : command_(args.front()), args_(args.begin() + 1, args.end()) {}

    // Positional arguments and options, each option with the value that follows it (or after '=').
    struct Item {
        std::string name;  // empty for a positional argument
        std::string value;
    };

    Outcome parse(const std::vector<std::string_view>& valued,
                  const std::vector<std::string_view>& switches) {
        for (std::size_t i = 0; i < args_.size(); ++i) {
            const std::string& arg = args_[i];
            if (!arg.starts_with("--")) {
                items_.push_back({{}, arg});
                continue;
            }
            const auto equals = arg.find('=');
            const std::string name = arg.substr(0, equals);
            if (std::find(switches.begin(), switches.end(), name) != switches.end()) {
                if (equals != std::string::npos) {
                    return usage(name + " takes no value.");
                }
                items_.push_back({name, {}});
            } else if (std::find(valued.begin(), valued.end(), name) != valued.end()) {
                if (equals != std::string::npos) {
                    items_.push_back({name, arg.substr(equals + 1)});
                } else if (i + 1 < args_.size()) {
                    items_.push_back({name, args_[++i]});
                } else {
                    return usage(name + " needs a value.");
                }
            } else {
                return usage("unknown option " + storage::in_quotes(arg) + " for " + command_ +
                             ".");
            }
        }
        return std::nullopt;
    }

    const std::vector<Item>& items() const { return items_; }

  private:
    std::string command_;
    std::vector<std::string> args_;
    std::vector<Item> items_;
};

template <class T>
std::optional<T> whole(std::string_view text) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace quobel::cli
