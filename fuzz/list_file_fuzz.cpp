// Feeds arbitrary bytes to the list-file reader as a file a user picked for
// an import: whatever they are (any encoding, a binary file, a cut one), the
// reader must give rows and counts, never a crash or a read outside the
// data, and every row it gives must be one the list can take as it stands.
// Built with clang's libFuzzer (see CMakeLists.txt).

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/phone_number.h"
#include "phonelist/list_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const ListFileContents contents = ParseListFile(bytes);
  for (const ListFileRow& row : contents.rows) {
    if (row.firstName.size() > size_t(kListNameLength) || row.surname.size() > size_t(kListNameLength)) std::abort();
    // The number goes into controller command lines as it stands.
    QString again;
    const QString phone = QString::fromStdString(row.phone);
    if (!NormalisePhoneNumber(phone, kListPhoneLength, &again) || again != phone) std::abort();
    for (const std::string* name : {&row.firstName, &row.surname}) {
      for (const char c : *name) {
        const unsigned char b = static_cast<unsigned char>(c);
        // No control character, no separator, no byte Windows-1250 leaves undefined.
        if (b < 0x20 || b == 0x7F || b == '|' || b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98) {
          std::abort();
        }
      }
    }
  }
  if ((contents.Skipped() == 0) != (contents.firstSkippedLine == 0)) std::abort();
  if (contents.namesCut > int(contents.rows.size())) std::abort();
  return 0;
}
