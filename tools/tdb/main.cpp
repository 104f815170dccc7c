#include <iostream>
#include <string>
#include <vector>

#include "tdb/tdb.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int code = RunTdb(args, std::cin, std::cout, std::cerr);
  std::cout.flush();
  // Rows that never reached their reader (a full disk, say) are a failure too.
  if (!std::cout && code == 0) {
    std::cerr << "selvantrix-tdb: cannot write to standard output\n";
    return 1;
  }
  return code;
}
