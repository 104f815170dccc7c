// The table store against SQLite on the configurator's phone list.
//
// Both engines get the same rows in the same order, on files in the same
// directory, in the same run, so the printed ratios say how the store stands
// against SQLite on this machine today; the absolute times say little on
// their own. A raw pwrite + fdatasync is measured alongside, so the cost of
// each append mode can be read as "so many disk flushes per row".
//
//   store_bench [--rows N] [--dir DIR]
//
// Without --dir the files go to a fresh directory under /tmp, removed at the
// end; with --dir they go to DIR (which must exist) and only our own files
// are removed.

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "schema/schema.h"
#include "store/cursor.h"
#include "store/database.h"
#include "store/status.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "store_bench: %s\n", message.c_str());
  std::exit(1);
}

void Check(const store::Status& s, const char* what) {
  if (!s.ok()) Die(std::string(what) + ": " + s.ToString());
}

void CheckSql(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    Die(std::string(what) + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
  }
}

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// Runs `once` `repeats` times and gives the median of the milliseconds it
// reports; the cheap phases jitter more than they cost.
double MedianOf(int repeats, const std::function<double()>& once) {
  std::vector<double> times;
  for (int i = 0; i < repeats; ++i) times.push_back(once());
  return Median(times);
}

// Our own generator, so the rows are the same with every compiler and library.
class SplitMix {
 public:
  explicit SplitMix(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint64_t Below(std::uint64_t n) { return Next() % n; }

 private:
  std::uint64_t state_;
};

template <typename T>
void Shuffle(std::vector<T>& items, SplitMix& random) {
  for (size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[size_t(random.Below(i))]);
}

// ---------------------------------------------------------------------------
// The rows

struct Person {
  std::int32_t id;
  std::string imie;
  std::string nazwisko;
  std::string tel;
  std::int32_t st;
};

std::vector<Person> MakePeople(int count, SplitMix& random) {
  static const char* const kFirst[] = {
      "Adam",      "Agnieszka", "Andrzej", "Anna",      "Barbara",    "Bartosz",  "Beata",    "Bogdan",    "Dariusz",
      "Dorota",    "Elzbieta",  "Ewa",     "Grazyna",   "Grzegorz",   "Halina",   "Irena",    "Jacek",     "Jadwiga",
      "Jan",       "Janina",    "Jerzy",   "Joanna",    "Jozef",      "Kamil",    "Karol",    "Katarzyna", "Krystyna",
      "Krzysztof", "Leszek",    "Lukasz",  "Magdalena", "Malgorzata", "Marcin",   "Marek",    "Maria",     "Michal",
      "Monika",    "Pawel",     "Piotr",   "Renata",    "Robert",     "Ryszard",  "Slawomir", "Stanislaw", "Tadeusz",
      "Teresa",    "Tomasz",    "Urszula", "Wieslaw",   "Wojciech",   "Zbigniew", "Zofia",
  };
  static const char* const kStem[] = {
      "Kowal",  "Nowa",   "Wisniew", "Wojcie", "Kaczmar", "Mazur",   "Krawcz", "Zielin", "Szyman",   "Dabrow",
      "Kozlow", "Jankow", "Kwiatk",  "Lewand", "Grabow",  "Pawlow",  "Michal", "Zajac",  "Krol",     "Wieczor",
      "Jablon", "Wrobl",  "Majew",   "Olszew", "Stepn",   "Malin",   "Jawor",  "Adamcz", "Dudk",     "Gorsk",
      "Pietrz", "Sikor",  "Walcz",   "Baran",  "Rutk",    "Michalk", "Szew",   "Ostrow", "Tomaszew", "Zalew",
  };
  static const char* const kEnd[] = {"ski", "ska", "cki", "cka", "czyk", "ak", "ewicz", "owski", "owska", "ek"};
  const size_t nFirst = std::size(kFirst), nStem = std::size(kStem), nEnd = std::size(kEnd);

  std::vector<Person> people;
  people.reserve(size_t(count));
  std::unordered_set<std::string> tels;
  for (int i = 0; i < count; ++i) {
    Person p;
    p.id = i + 1;
    p.imie = kFirst[random.Below(nFirst)];
    p.nazwisko = std::string(kStem[random.Below(nStem)]) + kEnd[random.Below(nEnd)];
    // Nine digits as a mobile number here starts: 5, 6, 7 or 8 first.
    do {
      char digits[16];
      std::snprintf(digits, sizeof digits, "%d%08d", int(5 + random.Below(4)), int(random.Below(100000000)));
      p.tel = digits;
    } while (!tels.insert(p.tel).second);
    p.st = std::int32_t(random.Below(3));
    people.push_back(std::move(p));
  }
  return people;  // Tel values come out in random order already
}

// ---------------------------------------------------------------------------
// The physical reference: one row-sized write and its flush

constexpr size_t kRowBytes = 103;  // ID 4 + Imie 41 + Nazwisko 41 + Tel 13 + ST 4

struct SyncCost {
  double appendUs;     // the write grows the file
  double overwriteUs;  // the write lands inside the file
  // Small writes to kAppendPages pages spread over a file of the store's
  // size, then one flush: what a single append of the store writes inside
  // its file (the row, its record item, three index items, three links from
  // their predecessors, the header), whatever the code around it does.
  double scatteredUs;
};

constexpr int kAppendPages = 8;
constexpr off_t kScatterFileBytes = 1536 * 1024;

SyncCost MeasureSync(const fs::path& dir, int samples) {
  const std::string path = (dir / "sync_probe.bin").string();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) Die("cannot create " + path);
  char row[kRowBytes];
  std::memset(row, 'x', sizeof row);
  auto once = [&](off_t at) {
    const auto start = Clock::now();
    if (::pwrite(fd, row, sizeof row, at) != ssize_t(sizeof row)) Die("pwrite failed on " + path);
    if (::fdatasync(fd) != 0) Die("fdatasync failed on " + path);
    return MsSince(start) * 1000.0;
  };
  // A few unmeasured rounds first: the first flushes of a new file also
  // write its inode and directory entry.
  for (int i = 0; i < 5; ++i) once(off_t(i) * off_t(kRowBytes));
  std::vector<double> grow, overwrite;
  for (int i = 0; i < samples; ++i) grow.push_back(once(off_t(i + 5) * off_t(kRowBytes)));
  for (int i = 0; i < samples; ++i) overwrite.push_back(once(off_t(i % 5) * off_t(kRowBytes)));
  const std::string zeros(size_t(kScatterFileBytes), '\0');
  if (::pwrite(fd, zeros.data(), zeros.size(), 0) != ssize_t(zeros.size()) || ::fdatasync(fd) != 0) {
    Die("cannot fill " + path);
  }
  SplitMix pages(7);
  std::vector<double> scattered;
  for (int i = 0; i < samples; ++i) {
    const auto start = Clock::now();
    for (int p = 0; p < kAppendPages; ++p) {
      const off_t at = off_t(pages.Next() % std::uint64_t(kScatterFileBytes / 4096)) * 4096 + 100;
      if (::pwrite(fd, row, 8, at) != 8) Die("pwrite failed on " + path);
    }
    if (::fdatasync(fd) != 0) Die("fdatasync failed on " + path);
    scattered.push_back(MsSince(start) * 1000.0);
  }
  ::close(fd);
  fs::remove(path);
  return SyncCost{Median(grow), Median(overwrite), Median(scattered)};
}

// ---------------------------------------------------------------------------
// The store

void RemoveStoreFile(const fs::path& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
  fs::remove(path.string() + ".new", ignored);
  fs::remove(path.string() + ".creating", ignored);
}

// rowsPerCommit 0: every row committed on its own; otherwise the rows go in
// through an AppendGroup, as an import does, and the time includes the flush
// at its end that makes the last row durable.
double StoreAppend(const fs::path& path, const std::vector<Person>& people, store::SyncMode mode,
                   int rowsPerCommit = 0) {
  RemoveStoreFile(path);
  Check(CreateConfiguratorDatabase(path.string()), "create the store database");
  store::OpenOptions options;
  options.sync = mode;
  std::shared_ptr<store::Database> db;
  Check(store::Database::Open(path.string(), options, &db), "open the store database");
  store::Cursor cursor(db, "telefony");
  Check(cursor.Open(), "open telefony");

  const auto start = Clock::now();
  std::unique_ptr<store::AppendGroup> group;
  if (rowsPerCommit > 0) group = std::make_unique<store::AppendGroup>(cursor, rowsPerCommit);
  for (const Person& p : people) {
    Check(cursor.Append(), "Append");
    Check(cursor.SetInt("ID", p.id), "SetInt ID");
    Check(cursor.SetText("Imie", p.imie), "SetText Imie");
    Check(cursor.SetText("Nazwisko", p.nazwisko), "SetText Nazwisko");
    Check(cursor.SetText("Tel", p.tel), "SetText Tel");
    Check(cursor.SetInt("ST", p.st), "SetInt ST");
    Check(cursor.Post(), "Post");
  }
  if (group) Check(group->Finish(), "the group's last commit");
  const double ms = MsSince(start);
  if (cursor.RowCount() != int(people.size())) Die("store append: row count is off");
  return ms;
}

// Database::Open + Cursor::Open in a fresh Database: everything the store
// does before the first row can be shown.
double StoreOpenOnce(const fs::path& path, int rows) {
  const auto start = Clock::now();
  std::shared_ptr<store::Database> db;
  Check(store::Database::Open(path.string(), store::OpenOptions{}, &db), "open the store database");
  store::Cursor cursor(db, "telefony");
  Check(cursor.Open(), "open telefony");
  const double ms = MsSince(start);
  if (cursor.RowCount() != rows)
    Die("store open: " + std::to_string(cursor.RowCount()) + " rows, expected " + std::to_string(rows));
  if (!cursor.table()->repairs.empty()) Die("store open: the load mended an index: " + cursor.table()->repairs[0]);
  return ms;
}

double StoreFindsOnce(store::Cursor& cursor, const std::vector<std::string>& tels) {
  const auto start = Clock::now();
  for (const std::string& tel : tels) {
    bool found = false;
    Check(cursor.Find("Tel", {tel}, {}, &found), "Find Tel");
    if (!found) Die("store find: Tel " + tel + " not found");
  }
  return MsSince(start);
}

// Not timed: the finds land on the right rows, not just on some row.
void StoreVerifyFinds(store::Cursor& cursor, const std::vector<std::string>& tels) {
  for (const std::string& tel : tels) {
    bool found = false;
    Check(cursor.Find("Tel", {tel}, {}, &found), "Find Tel");
    if (!found || cursor.Text("Tel") != tel) Die("store find: Tel " + tel + " lands on the wrong row");
  }
}

// ---------------------------------------------------------------------------
// SQLite

struct Sql {
  sqlite3* db = nullptr;
  ~Sql() {
    if (db) sqlite3_close_v2(db);
  }
  void Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
      const std::string message = error ? error : "?";
      sqlite3_free(error);
      Die(std::string("sqlite: ") + sql + ": " + message);
    }
  }
};

struct Statement {
  sqlite3_stmt* stmt = nullptr;
  Statement(sqlite3* db, const char* sql) { CheckSql(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr), db, sql); }
  ~Statement() { sqlite3_finalize(stmt); }
};

void RemoveSqliteFiles(const fs::path& path) {
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(path.string() + suffix, ignored);
}

enum class SqlAppend { kWalNormalPerRow, kWalFullPerRow, kOneTransaction };

double SqliteAppend(const fs::path& path, const std::vector<Person>& people, SqlAppend variant) {
  RemoveSqliteFiles(path);
  Sql sql;
  CheckSql(sqlite3_open_v2(path.c_str(), &sql.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr), sql.db,
           "sqlite open");
  sql.Exec("PRAGMA journal_mode=WAL");
  sql.Exec(variant == SqlAppend::kWalNormalPerRow ? "PRAGMA synchronous=NORMAL" : "PRAGMA synchronous=FULL");
  // The same five columns and the same three indexes as `telefony`; the
  // UNIQUE constraint is the index on Tel.
  sql.Exec("CREATE TABLE telefony(ID INTEGER, Imie TEXT, Nazwisko TEXT, Tel TEXT UNIQUE, ST INTEGER)");
  sql.Exec("CREATE INDEX NazwiskoIndex ON telefony(Nazwisko)");
  sql.Exec("CREATE INDEX ImieIndex ON telefony(Imie)");

  double ms = 0;
  {
    Statement insert(sql.db, "INSERT INTO telefony(ID, Imie, Nazwisko, Tel, ST) VALUES(?, ?, ?, ?, ?)");
    const auto start = Clock::now();
    if (variant == SqlAppend::kOneTransaction) sql.Exec("BEGIN");
    for (const Person& p : people) {
      // Outside BEGIN every INSERT is its own transaction, committed on its own.
      sqlite3_bind_int(insert.stmt, 1, p.id);
      sqlite3_bind_text(insert.stmt, 2, p.imie.data(), int(p.imie.size()), SQLITE_STATIC);
      sqlite3_bind_text(insert.stmt, 3, p.nazwisko.data(), int(p.nazwisko.size()), SQLITE_STATIC);
      sqlite3_bind_text(insert.stmt, 4, p.tel.data(), int(p.tel.size()), SQLITE_STATIC);
      sqlite3_bind_int(insert.stmt, 5, p.st);
      if (sqlite3_step(insert.stmt) != SQLITE_DONE) CheckSql(SQLITE_ERROR, sql.db, "sqlite insert");
      sqlite3_reset(insert.stmt);
    }
    if (variant == SqlAppend::kOneTransaction) sql.Exec("COMMIT");
    ms = MsSince(start);
  }
  // Closing checkpoints the log into the database file, so the open and find
  // phases read one settled file as the store's do.
  return ms;
}

// sqlite3_open_v2 + count(*) + every row once in Tel order: SQLite's way to
// what the store's open does, which reads all rows and builds all orders.
double SqliteOpenOnce(const fs::path& path, int rows) {
  const auto start = Clock::now();
  Sql sql;
  CheckSql(sqlite3_open_v2(path.c_str(), &sql.db, SQLITE_OPEN_READWRITE, nullptr), sql.db, "sqlite open");
  std::int64_t count = 0;
  {
    Statement stmt(sql.db, "SELECT count(*) FROM telefony");
    if (sqlite3_step(stmt.stmt) != SQLITE_ROW) CheckSql(SQLITE_ERROR, sql.db, "count(*)");
    count = sqlite3_column_int64(stmt.stmt, 0);
  }
  std::int64_t seen = 0;
  std::size_t bytes = 0;
  {
    Statement stmt(sql.db, "SELECT ID, Imie, Nazwisko, Tel, ST FROM telefony ORDER BY Tel");
    int rc;
    while ((rc = sqlite3_step(stmt.stmt)) == SQLITE_ROW) {
      // Touch every column, as the store holds every byte of every row.
      bytes += size_t(sqlite3_column_int(stmt.stmt, 0));
      for (int c = 1; c <= 3; ++c) {
        sqlite3_column_text(stmt.stmt, c);
        bytes += size_t(sqlite3_column_bytes(stmt.stmt, c));
      }
      bytes += size_t(sqlite3_column_int(stmt.stmt, 4));
      ++seen;
    }
    CheckSql(rc, sql.db, "scan");
  }
  const double ms = MsSince(start);
  if (count != rows || seen != rows || bytes == 0) {
    Die("sqlite open: " + std::to_string(count) + "/" + std::to_string(seen) + " rows, expected " +
        std::to_string(rows));
  }
  return ms;
}

double SqliteFindsOnce(sqlite3* db, sqlite3_stmt* find, const std::vector<std::string>& tels) {
  const auto start = Clock::now();
  for (const std::string& tel : tels) {
    sqlite3_bind_text(find, 1, tel.data(), int(tel.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(find);
    if (rc != SQLITE_ROW) {
      if (rc == SQLITE_DONE) Die("sqlite find: Tel " + tel + " not found");
      CheckSql(rc, db, "sqlite find");
    }
    sqlite3_reset(find);
  }
  return MsSince(start);
}

// ---------------------------------------------------------------------------
// Report

std::uintmax_t SizeOf(const fs::path& path) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  return error ? 0 : size;
}

void Row(const char* name, double ms, int ops, const char* note = "") {
  std::printf("  %-44s %10.1f ms %10.2f µs/op  %s\n", name, ms, ms * 1000.0 / ops, note);
}

std::string Times(double ratio) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2fx", ratio);
  return text;
}

// A plain sentence: how long the store takes next to SQLite.
void Summary(const char* what, double storeMs, double sqliteMs, const char* peer) {
  const double ratio = storeMs / sqliteMs;
  if (ratio >= 1.0) {
    std::printf("- %s: the store takes %.2fx the time of %s (%.2fx slower).\n", what, ratio, peer, ratio);
  } else {
    std::printf("- %s: the store takes %.2fx the time of %s (%.2fx faster).\n", what, ratio, peer, 1.0 / ratio);
  }
}

struct Options {
  int rows = 10000;
  std::string dir;
};

Options ParseArguments(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--rows" && i + 1 < argc) {
      options.rows = std::atoi(argv[++i]);
      if (options.rows < 1 || options.rows > 1000000) Die("--rows wants a number from 1 to 1000000");
    } else if (arg == "--dir" && i + 1 < argc) {
      options.dir = argv[++i];
    } else if (arg == "--help" || arg == "-h") {
      std::printf("usage: store_bench [--rows N] [--dir DIR]\n");
      std::exit(0);
    } else {
      Die("unknown argument '" + arg + "' (usage: store_bench [--rows N] [--dir DIR])");
    }
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseArguments(argc, argv);
  const int n = options.rows;
  constexpr int kRepeats = 5;
  constexpr int kSyncSamples = 200;

  fs::path dir;
  bool ownDir = false;
  if (options.dir.empty()) {
    std::string pattern = (fs::temp_directory_path() / "store_bench.XXXXXX").string();
    if (!::mkdtemp(pattern.data())) Die("cannot make a directory under " + fs::temp_directory_path().string());
    dir = pattern;
    ownDir = true;
  } else {
    dir = options.dir;
    if (!fs::is_directory(dir)) Die("--dir " + options.dir + " is not a directory");
  }

  SplitMix random(20240611);
  const std::vector<Person> people = MakePeople(n, random);
  std::vector<std::string> findOrder;
  for (const Person& p : people) findOrder.push_back(p.tel);
  Shuffle(findOrder, random);

  const fs::path storeBarrier = dir / "bench_barrier.tdb";
  const fs::path storeNone = dir / "bench_nosync.tdb";
  const fs::path storeGroup = dir / "bench_group.tdb";
  const fs::path sqlNormal = dir / "bench_wal_normal.sqlite";
  const fs::path sqlFull = dir / "bench_wal_full.sqlite";
  const fs::path sqlOne = dir / "bench_one_txn.sqlite";

  std::printf("store_bench: %d rows, files in %s, SQLite %s\n", n, dir.c_str(), sqlite3_libversion());
  std::fflush(stdout);

  // Physical reference before and after the appends: the disk's flush time
  // drifts, and the two bracket what the appends saw.
  const SyncCost syncBefore = MeasureSync(dir, kSyncSamples);

  const double storeBarrierMs = StoreAppend(storeBarrier, people, store::SyncMode::kBarrier);
  const double sqlFullMs = SqliteAppend(sqlFull, people, SqlAppend::kWalFullPerRow);
  const double storeNoneMs = StoreAppend(storeNone, people, store::SyncMode::kNone);
  const double sqlNormalMs = SqliteAppend(sqlNormal, people, SqlAppend::kWalNormalPerRow);
  const double sqlOneMs = SqliteAppend(sqlOne, people, SqlAppend::kOneTransaction);
  const double storeGroupMs =
      StoreAppend(storeGroup, people, store::SyncMode::kBarrier, store::AppendGroup::kDefaultRowsPerCommit);

  const SyncCost syncAfter = MeasureSync(dir, kSyncSamples);
  const double syncUs = (syncBefore.appendUs + syncAfter.appendUs) / 2;

  // Opens: the store's barrier file against SQLite's FULL file; both hold
  // the same rows and both sit in the page cache by now.
  const double storeOpenMs = MedianOf(kRepeats, [&] { return StoreOpenOnce(storeBarrier, n); });
  const double sqlOpenMs = MedianOf(kRepeats, [&] { return SqliteOpenOnce(sqlFull, n); });

  double storeFindMs = 0;
  {
    std::shared_ptr<store::Database> db;
    Check(store::Database::Open(storeBarrier.string(), store::OpenOptions{}, &db), "open the store database");
    store::Cursor cursor(db, "telefony");
    Check(cursor.Open(), "open telefony");
    StoreVerifyFinds(cursor, findOrder);
    storeFindMs = MedianOf(kRepeats, [&] { return StoreFindsOnce(cursor, findOrder); });
  }
  double sqlFindMs = 0;
  {
    Sql sql;
    CheckSql(sqlite3_open_v2(sqlFull.c_str(), &sql.db, SQLITE_OPEN_READWRITE, nullptr), sql.db, "sqlite open");
    Statement find(sql.db, "SELECT ID, Imie, Nazwisko, Tel, ST FROM telefony WHERE Tel=?");
    SqliteFindsOnce(sql.db, find.stmt, findOrder);  // warms the page cache, as the store's load did
    sqlFindMs = MedianOf(kRepeats, [&] { return SqliteFindsOnce(sql.db, find.stmt, findOrder); });
  }

  const auto perRowUs = [&](double ms) { return ms * 1000.0 / n; };
  char note[128];

  std::printf("\nPhysical reference (%d-byte pwrite + fdatasync, median of %d, in %s)\n", int(kRowBytes), kSyncSamples,
              dir.c_str());
  std::printf("  growing the file:   %8.1f µs before the appends, %8.1f µs after\n", syncBefore.appendUs,
              syncAfter.appendUs);
  std::printf("  inside the file:    %8.1f µs before the appends, %8.1f µs after\n", syncBefore.overwriteUs,
              syncAfter.overwriteUs);
  std::printf("  one sync (growing, mean of both): %.1f µs\n", syncUs);
  const double floorUs = (syncBefore.scatteredUs + syncAfter.scatteredUs) / 2;
  std::printf("  %d scattered pages inside the file, one flush: %.1f µs before, %.1f µs after\n", kAppendPages,
              syncBefore.scatteredUs, syncAfter.scatteredUs);

  std::printf("\nAppends: %d rows, each committed on its own unless said otherwise\n", n);
  std::printf("  (syncs/row: time per row over the time of one growing-file sync above)\n");
  std::snprintf(note, sizeof note, "= %.2f syncs/row", perRowUs(storeBarrierMs) / syncUs);
  Row("store, SyncMode::kBarrier", storeBarrierMs, n, note);
  std::snprintf(note, sizeof note, "= %.2f syncs/row", perRowUs(storeNoneMs) / syncUs);
  Row("store, SyncMode::kNone", storeNoneMs, n, note);
  std::snprintf(note, sizeof note, "= %.2f syncs/row", perRowUs(sqlNormalMs) / syncUs);
  Row("SQLite (a) WAL, synchronous=NORMAL, txn/row", sqlNormalMs, n, note);
  std::snprintf(note, sizeof note, "= %.2f syncs/row", perRowUs(sqlFullMs) / syncUs);
  Row("SQLite (b) WAL, synchronous=FULL, txn/row", sqlFullMs, n, note);
  std::snprintf(note, sizeof note, "= %.2f syncs/row", perRowUs(sqlOneMs) / syncUs);
  Row("SQLite (c) WAL, FULL, one transaction", sqlOneMs, n, note);
  std::snprintf(note, sizeof note, "= %.0f rows/s durable", n / (storeGroupMs / 1000.0));
  Row("store, kBarrier, AppendGroup of 1024 rows", storeGroupMs, n, note);

  std::printf("\nOpen (median of %d, fresh objects, page cache warm)\n", kRepeats);
  Row("store, Database::Open + Cursor::Open", storeOpenMs, n, "(per row loaded)");
  Row("SQLite, open + count(*) + scan ORDER BY Tel", sqlOpenMs, n, "(per row read)");

  std::printf("\nFinds by Tel: %d lookups in shuffled order (median of %d)\n", n, kRepeats);
  Row("store, Cursor::Find(\"Tel\") on TelIndex", storeFindMs, n);
  Row("SQLite, SELECT ... WHERE Tel=? (prepared)", sqlFindMs, n);

  std::printf("\nFiles: store %ju bytes; SQLite %ju bytes (after the log was checkpointed)\n", SizeOf(storeBarrier),
              SizeOf(sqlFull));

  std::printf("\nRatios, store / SQLite (below 1: the store is faster)\n");
  std::printf("  %-52s %8s\n", "barrier appends / (a) WAL NORMAL", Times(storeBarrierMs / sqlNormalMs).c_str());
  std::printf("  %-52s %8s\n", "barrier appends / (b) WAL FULL (equal durability)",
              Times(storeBarrierMs / sqlFullMs).c_str());
  std::printf("  %-52s %8s\n", "none-sync appends / (a) WAL NORMAL", Times(storeNoneMs / sqlNormalMs).c_str());
  std::printf("  %-52s %8s\n", "grouped appends / (c) one transaction", Times(storeGroupMs / sqlOneMs).c_str());
  std::printf("  %-52s %8s\n", "grouped appends / none-sync appends (flush share)",
              Times(storeGroupMs / storeNoneMs).c_str());
  std::printf("  %-52s %8s\n", "open + load / open + scan", Times(storeOpenMs / sqlOpenMs).c_str());
  std::printf("  %-52s %8s\n", "finds / finds", Times(storeFindMs / sqlFindMs).c_str());

  std::printf("\nSummary\n");
  Summary("Barrier appends vs SQLite WAL NORMAL, a transaction per row", storeBarrierMs, sqlNormalMs, "SQLite");
  Summary("Barrier appends vs SQLite WAL FULL, a transaction per row (same durability)", storeBarrierMs, sqlFullMs,
          "SQLite");
  Summary("Unsynced appends vs SQLite WAL NORMAL, a transaction per row", storeNoneMs, sqlNormalMs, "SQLite");
  Summary("Grouped appends (1024 rows per flush, last row durable) vs SQLite FULL, one transaction", storeGroupMs,
          sqlOneMs, "SQLite");
  Summary("Opening the table (all rows, all orders) vs SQLite open + full scan", storeOpenMs, sqlOpenMs, "SQLite");
  Summary("Finds by Tel vs SQLite prepared SELECT", storeFindMs, sqlFindMs, "SQLite");
  std::printf("- Flush time: barrier mode costs %.2f syncs/row, SQLite FULL %.2f, NORMAL %.2f, unsynced store %.2f.\n",
              perRowUs(storeBarrierMs) / syncUs, perRowUs(sqlFullMs) / syncUs, perRowUs(sqlNormalMs) / syncUs,
              perRowUs(storeNoneMs) / syncUs);
  std::printf(
      "- A barrier append takes %.2fx the time of its own pages' flush (%d scattered pages, one flush), "
      "the floor of the file's layout.\n",
      perRowUs(storeBarrierMs) / floorUs, kAppendPages);

  for (const fs::path& p : {storeBarrier, storeNone, storeGroup}) RemoveStoreFile(p);
  for (const fs::path& p : {sqlNormal, sqlFull, sqlOne}) RemoveSqliteFiles(p);
  if (ownDir) {
    std::error_code ignored;
    fs::remove(dir, ignored);
  }
  return 0;
}
