// Feeds arbitrary bytes to the import as a list file a user picked: whatever
// they are (any encoding, a binary file, a cut one), every line must get a
// verdict, never a crash or a read outside the data, and every line taken
// must be one the list can store as it stands. The file's name says which
// reader reads it (see fuzz_import_checks.h).
// Built with clang's libFuzzer (see CMakeLists.txt).

#include "fuzz_import_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckImportOf(data, size, QStringLiteral("lista.dat"));
  return 0;
}
