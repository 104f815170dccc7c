#pragma once

// What the fault-injection tests open files with, and how they judge a file
// reopened after a fault: it must hold the state before the interrupted
// operation or after it, nothing in between.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/collation.h"
#include "store/database.h"
#include "store/cursor.h"
#include "store/format.h"
#include "store/testing/fault_file.h"
#include "store/testing/files.h"
#include "store/testing/script_model.h"

namespace store::testing {

inline std::shared_ptr<const Collation> Polish() {
  static const std::shared_ptr<const Collation> collation = MakeLocaleCollation("pl_PL");
  return collation;
}

// Texts are written in UTF-8 here and kept in the file's code page.
inline std::string Cp(std::string_view utf8) { return Utf8ToWindows1250(utf8); }

inline Database::Options ScriptOptions() {
  Database::Options options;
  options.collation = Polish();
  options.sync = SyncMode::kBarrier;
  return options;
}

// For opening the file afterwards; writes made here need no flush to be
// seen by the next open.
inline Database::Options ReaderOptions() {
  Database::Options options;
  options.collation = Polish();
  options.sync = SyncMode::kNone;
  return options;
}

// Opens the file as the next start of the program would and compares it with
// the states either side of the interrupted operation.
inline void CheckReopened(const std::string& path, const Outcome& outcome, DbState* matched,
                          std::vector<std::string>* problems) {
  std::shared_ptr<Database> db;
  Status s = Database::Open(path, ReaderOptions(), &db);
  if (!s.ok()) {
    problems->push_back("the file does not open: " + s.ToString());
    return;
  }
  DbState found;
  s = ReadState(db, &found, problems);
  if (!s.ok()) {
    problems->push_back(s.ToString());
    return;
  }
  if (SameContent(found, outcome.before)) {
    *matched = outcome.before;
  } else if (SameContent(found, outcome.after)) {
    *matched = outcome.after;
  } else {
    problems->push_back("neither before nor after the operation; against before:" + Difference(found, outcome.before) +
                        " against after:" + Difference(found, outcome.after));
    return;
  }
  // An append that never counted may have used up an auto-increment value:
  // a gap is fine, handing a value out twice is not.
  for (auto& [name, table] : *matched) {
    const auto it = found.find(name);
    if (it == found.end()) continue;
    if (it->second.lastAutoInc < table.lastAutoInc) {
      problems->push_back("table '" + name + "': the auto-increment value went back from " +
                          std::to_string(table.lastAutoInc) + " to " + std::to_string(it->second.lastAutoInc));
    }
    table.lastAutoInc = it->second.lastAutoInc;
  }
}

// Where the next structure goes: the test places structures on sector marks.
inline std::int64_t FileSize(const std::string& path) { return UsedSize(path); }

// A table of one text field of a size chosen so that its header, record tab
// and one row end the file at `residue` modulo the sector size.
inline Status PadTo(const std::shared_ptr<Database>& db, const std::string& path, const std::string& name,
                    std::int64_t residue) {
  const std::int64_t end = FileSize(path);
  const std::int64_t fixed = TableHeader::kEncodedLength + kRecordChunkLength + 1;
  std::int64_t size = ((residue - end - fixed) % kSectorSize + kSectorSize) % kSectorSize;
  if (size == 0) size = kSectorSize;
  Status s = db->CreateTable(name, {FieldSpec{"Tekst", FieldType::kText, std::int32_t(size)}});
  Cursor c(db, name);
  if (s.ok()) s = c.Open();
  if (s.ok()) s = c.Append();
  if (s.ok()) s = c.SetText("Tekst", "x");
  if (s.ok()) s = c.Post();
  if (s.ok() && FileSize(path) % kSectorSize != residue) s = Status::InvalidArgument(name + " missed its mark");
  return s;
}

}  // namespace store::testing
