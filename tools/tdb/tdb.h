#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// The support tool for the configurator's database file: creates it, shows
// its structure and rows, appends and deletes rows, and checks it. `args`
// are the command-line arguments after the program name. Returns the exit
// status: 0 done, 1 the operation failed, 2 the command line was wrong.
// Never throws; every message goes to `err`, and `out` carries only the
// command's output.
int RunTdb(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);
