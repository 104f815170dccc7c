// The CSV reader over arbitrary bytes, as a file a spreadsheet saved: quotes
// that open and never close, fields across lines, any separator and
// encoding. Built with clang's libFuzzer (see CMakeLists.txt).

#include "fuzz_import_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckImportOf(data, size, QStringLiteral("lista.csv"));
  return 0;
}
