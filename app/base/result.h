// The one shape of an outcome in the tag writer core: a value, or the message
// the operator is shown instead. Conversions, validation, record loading and
// the interface dialog's field rules return it, so a caller tests, reports and
// focuses the same way whichever of them failed.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace stampwise {

// What the operator is told: the string id, its text with the place holders
// filled in, and the control to give the focus (0 when none).
struct Message {
  int id = 0;
  std::string text;
  int controlId = 0;
};

// A failure on its way into any Result: `return Failed{message};`. A text
// without a message number (a system's reason) is Failed{{0, text}}.
struct Failed {
  Message message;
};

template <typename T>
class Result {
 public:
  // A value is a success, so functions may simply return it.
  Result(T value) : value_(std::move(value)) {}
  Result(Failed failed) : message_(std::move(failed.message)) {}
  static Result Failure(Message message) { return Result(std::move(message), FailureTag{}); }

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }

  // The value; std::logic_error on a failure, which the caller should have tested.
  const T& value() const& { return Checked(); }
  T& value() & { return Checked(); }
  T&& value() && { return std::move(Checked()); }

  const T* operator->() const { return &Checked(); }
  T* operator->() { return &Checked(); }

  // Why it failed; an empty message (id 0) on success.
  const Message& message() const { return message_; }

 private:
  struct FailureTag {};
  Result(Message message, FailureTag) : message_(std::move(message)) {}
  void Require() const {
    if (!value_) throw std::logic_error("Result: no value (" + message_.text + ")");
  }
  T& Checked() { return Require(), *value_; }
  const T& Checked() const { return Require(), *value_; }

  std::optional<T> value_;
  Message message_;
};

// For an outcome that carries nothing but success or its message.
struct Done {};
using Status = Result<Done>;

}  // namespace stampwise
