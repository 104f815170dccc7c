#include "store/status.h"

namespace store {

std::string Status::ToString() const {
  const char* prefix = "";
  switch (code_) {
    case Code::kOk:
      return "OK";
    case Code::kNotFound:
      prefix = "Not found: ";
      break;
    case Code::kCorruption:
      prefix = "Corruption: ";
      break;
    case Code::kInvalidArgument:
      prefix = "Invalid argument: ";
      break;
    case Code::kIOError:
      prefix = "IO error: ";
      break;
    case Code::kBusy:
      prefix = "Busy: ";
      break;
    case Code::kUniqueViolation:
      prefix = "Unique violation: ";
      break;
  }
  return prefix + message_;
}

}  // namespace store
