// Results of platform operations that can fail with a reason.
//
// A failure carries the platform's own description of what went wrong (the
// text that fills "%@" in the tool's messages) and never mixes with data.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace platform {

// The outcome of an operation that produces no data: ok, or a failure with
// the platform's description of the error.
class [[nodiscard]] Status {
 public:
  static Status Ok() { return Status(); }
  static Status Fail(std::string description) { return Status(std::move(description)); }

  bool ok() const { return !error_.has_value(); }
  // The failure's description; empty for a success.
  const std::string& description() const {
    static const std::string kNone;
    return error_ ? *error_ : kNone;
  }

 private:
  Status() = default;
  explicit Status(std::string d) : error_(std::move(d)) {}
  std::optional<std::string> error_;
};

// A value, or a failure with the platform's description of the error.
template <class T>
class [[nodiscard]] Result {
 public:
  static Result Of(T value) { return Result(std::move(value)); }
  static Result Fail(std::string description) {
    Result r;
    r.error_ = std::move(description);
    return r;
  }

  bool ok() const { return value_.has_value(); }
  const T& value() const { return *value_; }
  T& value() { return *value_; }
  // The failure's description; empty for a success.
  const std::string& description() const { return error_; }

 private:
  Result() = default;
  explicit Result(T v) : value_(std::move(v)) {}
  std::optional<T> value_;
  std::string error_;
};

}  // namespace platform
