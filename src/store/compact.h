#pragma once

// Giving a database file back the space its changes left behind. A change
// appends the new row image and a settled order appends a new index tab, so
// the file only grows; a compacted copy holds each table's live rows once,
// in their order, with every index chain written whole, in the same byte
// layout (FORMAT.md), and replaces the file by a rename.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "store/database.h"
#include "store/file.h"
#include "store/status.h"

namespace store {

// A file's size against the size of its compacted copy.
struct SpaceUse {
  std::int64_t fileSize = 0;
  // Where what the file holds ends: zeros written ahead of the next changes
  // lie past it, room to come rather than dead space.
  std::int64_t usedSize = 0;
  std::int64_t neededSize = 0;

  std::int64_t Dead() const { return usedSize - neededSize; }
  // The share of what the file holds that no reader reaches, 0 to 1.
  double DeadShare() const { return usedSize > 0 ? double(Dead()) / double(usedSize) : 0.0; }
};

// Reads every table of an open database and tells how big its compacted copy
// would be.
Status MeasureSpace(Database& db, SpaceUse* out);

struct CompactOptions {
  // How the file is opened (the collation orders a chain a load had to mend);
  // it is always opened exclusively.
  Database::Options open;
  // The file is rewritten only when more than this share of what it holds
  // is dead space; at 0, whenever it is larger than its copy would be.
  double minDeadShare = 0;
  // Opens the new file (created empty, held exclusively); tests put a layer
  // in between that fails writes. Empty: the operating system's file.
  std::function<Status(const std::string& path, std::unique_ptr<File>* out)> openCopy;
};

struct CompactResult {
  SpaceUse before;
  bool compacted = false;
  std::int64_t sizeAfter = 0;
};

// The name the copy is written under, beside the file, until it replaces it.
std::string CompactCopyPath(const std::string& path);

// Rewrites the database file at `path` to its minimal size: the copy is
// written beside it, flushed, read back and compared table by table with the
// file, then renamed over it, and the directory is flushed. Refuses (Busy)
// while any other open of the file exists, since a process holding the old
// file would go on writing into it after the rename; refuses a read-only
// file. Whatever fails before the rename leaves the file as it was and
// removes the copy.
Status CompactFile(const std::string& path, const CompactOptions& options, CompactResult* result);

}  // namespace store
