#pragma once

#include <string>
#include <string_view>

namespace store {

// The result of a store operation: a code plus the store's own message text.
// Callers show the message as it stands, so it is never reworded on the way up;
// nobody may drop one unseen.
class [[nodiscard]] Status {
 public:
  // kUniqueViolation: a row refused because a unique index already holds its
  // key. Apart from kInvalidArgument so that a caller can tell a clash with
  // the rows already stored from a request that could never succeed.
  enum class Code { kOk, kNotFound, kCorruption, kInvalidArgument, kIOError, kBusy, kUniqueViolation };

  Status() = default;

  static Status Ok() { return Status(); }
  static Status NotFound(std::string_view msg) { return Status(Code::kNotFound, msg); }
  static Status Corruption(std::string_view msg) { return Status(Code::kCorruption, msg); }
  static Status InvalidArgument(std::string_view msg) { return Status(Code::kInvalidArgument, msg); }
  static Status IOError(std::string_view msg) { return Status(Code::kIOError, msg); }
  static Status Busy(std::string_view msg) { return Status(Code::kBusy, msg); }
  static Status UniqueViolation(std::string_view msg) { return Status(Code::kUniqueViolation, msg); }
  // A call of the operating system failed with `error` (an errno value): the
  // message goes on with the system's own words for it.
  static Status SystemError(Code code, std::string_view msg, int error);

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }
  // The errno value behind a SystemError; 0 for every other status.
  int error() const { return error_; }
  // Why it failed, for a message that names the step itself: the system's
  // words when there are some, else the whole message.
  std::string Cause() const;

  // "Corruption: <message>" style, for logs and the inspector tool.
  std::string ToString() const;

 private:
  Status(Code code, std::string_view msg) : code_(code), message_(msg) {}

  Code code_ = Code::kOk;
  std::string message_;
  int error_ = 0;
};

}  // namespace store
