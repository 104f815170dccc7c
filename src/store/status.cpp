#include "store/status.h"

#include <cstring>

namespace store {

Status Status::SystemError(Code code, std::string_view msg, int error) {
  Status s(code, std::string(msg) + ": " + std::strerror(error));
  s.error_ = error;
  return s;
}

std::string Status::Cause() const { return error_ != 0 ? std::string(std::strerror(error_)) : message_; }

std::string Status::ToString() const {
  const char* prefix = "";
  switch (code_) {
    case Code::kOk: return "OK";
    case Code::kNotFound: prefix = "Not found: "; break;
    case Code::kCorruption: prefix = "Corruption: "; break;
    case Code::kInvalidArgument: prefix = "Invalid argument: "; break;
    case Code::kIOError: prefix = "IO error: "; break;
    case Code::kBusy: prefix = "Busy: "; break;
    case Code::kUniqueViolation: prefix = "Unique violation: "; break;
  }
  return prefix + message_;
}

}  // namespace store
