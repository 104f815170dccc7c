#pragma once

#include <unistd.h>

#include <cstdlib>

// Permissions do not stop root, so a test run as root checks what a user
// without rights to a device meets as the unprivileged user "nobody" (its
// effective id only, given back at the end of the scope).
class WithoutPrivileges {
 public:
  // `wanted` false leaves the ids alone, for cases of a table that need root.
  explicit WithoutPrivileges(bool wanted = true) {
    if (!wanted || ::geteuid() != 0) return;
    switched_ = ::seteuid(kNobody) == 0;
    failed_ = !switched_;
  }
  ~WithoutPrivileges() {
    if (switched_ && ::seteuid(0) != 0) std::abort();  // the rest of the run would be wrong
  }
  WithoutPrivileges(const WithoutPrivileges&) = delete;
  WithoutPrivileges& operator=(const WithoutPrivileges&) = delete;
  bool failed() const { return failed_; }

  static constexpr uid_t kNobody = 65534;

 private:
  bool switched_ = false;
  bool failed_ = false;
};
