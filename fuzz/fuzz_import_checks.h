#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdlib>

#include "core/phone_number.h"
#include "phonelist/import_preview.h"

// What must hold of any file given to the import: one verdict per row read,
// counts that add up, and every line taken fit for the list and for the
// controller's command lines.
inline void CheckImportOf(const std::uint8_t* data, std::size_t size, const QString& name) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  Sheet sheet = ReadSheet(bytes, name);
  const size_t rows = sheet.rows.size();
  if (!sheet.error.isEmpty() && rows != 0) std::abort();
  const ImportPreview preview = PreviewImport(std::move(sheet), std::nullopt, {}, QStringLiteral("48"));
  if (preview.error.isEmpty() && preview.lines.size() != rows) std::abort();
  int counted = 0;
  for (int n : preview.counts.of) counted += n;
  if (counted != int(preview.lines.size())) std::abort();
  if ((preview.counts.Skipped() == 0) != (preview.FirstSkippedLine() == 0)) std::abort();
  for (const PreviewLine& line : preview.lines) {
    if (!IsTaken(line.verdict)) continue;
    if (line.storedFirstName.size() > size_t(kListNameLength) || line.storedSurname.size() > size_t(kListNameLength)) {
      std::abort();
    }
    // The number goes into controller command lines as it stands.
    QString again;
    const QString phone = QString::fromStdString(line.storedPhone);
    if (!NormalisePhoneNumber(phone, kListPhoneLength, &again) || again != phone) std::abort();
    for (const std::string* field : {&line.storedFirstName, &line.storedSurname}) {
      for (const char c : *field) {
        const unsigned char b = static_cast<unsigned char>(c);
        // No control character, no byte Windows-1250 leaves undefined.
        if (b < 0x20 || b == 0x7F || b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98) std::abort();
      }
    }
  }
}
