#pragma once

#include <string>
#include <string_view>

namespace store {

// The result of a store operation: a code plus the store's own message text.
// Callers show the message as it stands, so it is never reworded on the way up.
class Status {
 public:
  enum class Code { kOk, kNotFound, kCorruption, kInvalidArgument, kIOError, kBusy };

  Status() = default;

  static Status Ok() { return Status(); }
  static Status NotFound(std::string_view msg) { return Status(Code::kNotFound, msg); }
  static Status Corruption(std::string_view msg) { return Status(Code::kCorruption, msg); }
  static Status InvalidArgument(std::string_view msg) { return Status(Code::kInvalidArgument, msg); }
  static Status IOError(std::string_view msg) { return Status(Code::kIOError, msg); }
  static Status Busy(std::string_view msg) { return Status(Code::kBusy, msg); }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }

  // "Corruption: <message>" style, for logs and the inspector tool.
  std::string ToString() const;

 private:
  Status(Code code, std::string_view msg) : code_(code), message_(msg) {}

  Code code_ = Code::kOk;
  std::string message_;
};

}  // namespace store
