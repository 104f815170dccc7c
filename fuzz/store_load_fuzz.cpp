// Feeds arbitrary bytes to the store as a database file: opening it and
// loading every table must give a Status, never a crash, a hang or a read
// outside the data. Built with clang's libFuzzer (see CMakeLists.txt).

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "store/cursor.h"
#include "store/database.h"

namespace {

class MemoryFile final : public store::File {
 public:
  explicit MemoryFile(std::string bytes) : bytes_(std::move(bytes)) {}

  store::Status ReadAt(std::int64_t offset, std::size_t n, char* dst) override {
    if (offset < 0 || std::uint64_t(offset) + n > bytes_.size()) return store::Status::Corruption("short file");
    std::memcpy(dst, bytes_.data() + offset, n);
    return store::Status::Ok();
  }
  store::Status WriteAt(std::int64_t offset, std::string_view data) override {
    if (offset < 0 || offset > std::int64_t(1) << 26) return store::Status::IOError("too far");
    if (bytes_.size() < std::uint64_t(offset) + data.size()) bytes_.resize(std::size_t(offset) + data.size());
    std::memcpy(bytes_.data() + offset, data.data(), data.size());
    return store::Status::Ok();
  }
  store::Status Size(std::int64_t* size) override {
    *size = std::int64_t(bytes_.size());
    return store::Status::Ok();
  }
  store::Status Sync() override { return store::Status::Ok(); }
  store::Status TryLock(store::LockKind) override { return store::Status::Ok(); }
  void Unlock() override {}
  bool ReadOnly() const override { return false; }
  const std::string& Path() const override { return path_; }

 private:
  std::string bytes_;
  std::string path_ = "fuzz.tdb";
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto collation = store::MakeLocaleCollation("pl_PL");
  store::Database::Options options;
  options.collation = collation;
  options.sync = store::SyncMode::kNone;
  std::shared_ptr<store::Database> db;
  auto file = std::make_unique<MemoryFile>(std::string(reinterpret_cast<const char*>(data), size));
  if (!store::Database::OpenOn(std::move(file), options, &db).ok()) return 0;
  std::vector<std::string> names;
  if (!db->TableNames(&names).ok()) return 0;
  for (const std::string& name : names) {
    store::Cursor cursor(db, name);
    if (!cursor.Open().ok()) continue;
    // Read every field of every row in every order, then try a change: the
    // write path must cope with whatever the load accepted.
    for (std::size_t slot = 0; slot <= cursor.table()->header().indexes.size(); ++slot) {
      cursor.SetOrder(slot == 0 ? std::string() : cursor.table()->header().indexes[slot - 1].name);
      for (cursor.First(); !cursor.Eof(); cursor.Next()) {
        for (const auto& field : cursor.table()->header().fields) cursor.Text(field.name);
      }
    }
    if (cursor.Append().ok()) {
      for (const auto& field : cursor.table()->header().fields) cursor.SetText(field.name, "7");
      if (!cursor.Post().ok()) cursor.Cancel();
    }
    if (cursor.RowCount() > 0) {
      cursor.First();
      if (cursor.Edit().ok()) {
        cursor.SetText(cursor.table()->header().fields[0].name, "8");
        if (!cursor.Post().ok()) cursor.Cancel();
      }
      cursor.Delete();
    }
    cursor.table()->Verify();
  }
  return 0;
}
