// The phone list layer against the bare store: importing a list file of N
// lines into an empty list, and exporting the list back to a file.
//
// The peer does the same rows through a store cursor with nothing around it
// (append, three field writes, post; a plain read loop and the same file write),
// in the same run, on the same disk, so the printed ratio is the cost of the
// list layer: splitting lines, the new-row hook, progress, event passes and
// the refusal handling. Both sides run once with a disk barrier per row, as
// the configurator runs, and once without, where the layer's own cost is not
// drowned by the disk.
//
//   list_bench [--rows N] [--repeats R]

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "core/session.h"
#include "core/user_interface.h"
#include "phonelist/list_file.h"
#include "schema/schema.h"
#include "store/cursor.h"
#include "store/database.h"

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "list_bench: %s\n", message.c_str());
  std::exit(1);
}

void Check(const store::Status& s, const char* what) {
  if (!s.ok()) Die(std::string(what) + ": " + s.ToString());
}

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// Someone who never clears the list first and never cancels.
class QuietUi : public UserInterface {
 public:
  bool Ask(Question, const QString&) override { return false; }
  void ShowNotice(const QString& text) override { Die(text.toStdString()); }
  void ShowError(const QString& text) override { Die(text.toStdString()); }
  void ShowProgress() override {}
  void UpdateProgress(int, int) override {}
  void HideProgress() override {}
  // Events run as the window runs them.
  void ProcessEvents() override { pacer_.Pass(); }
  void SuspendViewUpdates(bool) override {}

 private:
  EventPacer pacer_;
};

// "first|surname|phone" lines with unique nine-digit phones, in the
// Windows-1250 of a list file (in UTF-8 the import would store other bytes
// than the bare store does).
std::vector<std::string> MakeLines(int count) {
  static const char* const kFirst[] = {"Adam", "Anna", "Jan", "Ewa", "Piotr", "Zofia", "Marek", "Beata"};
  static const char* const kSurname[] = {"Kowalski",
                                         "Nowak",
                                         "Wi\x9cniewska",
                                         "Mazur",
                                         "Zaj\xb9"
                                         "c",
                                         "Kr\xf3l",
                                         "Lis"};
  std::vector<std::string> lines;
  std::uint64_t state = 12345;
  for (int i = 0; i < count; ++i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    const int phone = 500000000 + int((state >> 33) % 400000000);
    lines.push_back(std::string(kFirst[i % 8]) + "|" + kSurname[(i / 8) % 7] + std::to_string(i) + "|" +
                    std::to_string(phone) + std::to_string(i % 10));
  }
  return lines;
}

struct Phase {
  double listMs = 0;
  double storeMs = 0;
};

// One import and one export through the list layer, in a fresh directory.
std::pair<double, double> ThroughTheList(const QString& file, const QString& out, store::SyncMode sync, int rows) {
  QTemporaryDir dir;
  Session session(dir.path());
  store::OpenOptions options;
  options.sync = sync;
  const QString failure = session.Create(options);
  if (!failure.isEmpty()) Die(failure.toStdString());
  QuietUi ui;
  Progress progress(ui);
  auto start = Clock::now();
  if (!ImportList(session, progress, file).Succeeded()) Die("the import failed");
  const double importMs = MsSince(start);
  if (session.Dbf1().RowCount() != rows) Die("the import lost rows");
  start = Clock::now();
  if (!ExportList(session, progress, out).Succeeded()) Die("the export failed");
  return {importMs, MsSince(start)};
}

// The same rows through a bare cursor, and the same file written plainly.
std::pair<double, double> ThroughTheStore(const std::vector<std::string>& lines, const QString& out,
                                          store::SyncMode sync) {
  QTemporaryDir dir;
  const std::string path = QDir(dir.path()).filePath("bare.tdb").toStdString();
  Check(CreateConfiguratorDatabase(path), "create");
  std::shared_ptr<store::Database> db;
  store::OpenOptions options;
  options.sync = sync;
  Check(store::Database::Open(path, options, &db), "open");
  store::Cursor list(db, "telefony");
  Check(list.Open(), "open telefony");
  auto start = Clock::now();
  for (const std::string& line : lines) {
    const size_t a = line.find('|');
    const size_t b = line.find('|', a + 1);
    Check(list.Append(), "append");
    Check(list.SetText("Imie", std::string_view(line).substr(0, a)), "store");
    Check(list.SetText("Nazwisko", std::string_view(line).substr(a + 1, b - a - 1)), "store");
    Check(list.SetText("Tel", std::string_view(line).substr(b + 1)), "store");
    Check(list.Post(), "post");
  }
  const double importMs = MsSince(start);
  start = Clock::now();
  std::string text;
  for (list.First(); !list.Eof(); list.Next()) {
    text += list.Text("Imie") + "|" + list.Text("Nazwisko") + "|" + list.Text("Tel") + "\r\n";
  }
  // Written as the export writes it (replaced whole, flushed to the disk),
  // so the file write is not counted against the list layer.
  QSaveFile file(out);
  if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), qint64(text.size())) != qint64(text.size()) ||
      !file.commit())
    Die("cannot write " + out.toStdString());
  return {importMs, MsSince(start)};
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int rows = 10000;
  int repeats = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--rows")
      rows = std::atoi(argv[i + 1]);
    else if (flag == "--repeats")
      repeats = std::atoi(argv[i + 1]);
    else
      Die("usage: list_bench [--rows N] [--repeats R]");
  }
  if (rows < 1 || repeats < 1) Die("usage: list_bench [--rows N] [--repeats R]");

  QTemporaryDir work;
  const std::vector<std::string> lines = MakeLines(rows);
  const QString file = QDir(work.path()).filePath("lista.dat");
  {
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly)) Die("cannot write " + file.toStdString());
    for (const std::string& line : lines) out.write((line + "\r\n").c_str());
  }
  const QString listOut = QDir(work.path()).filePath("list-out.dat");
  const QString storeOut = QDir(work.path()).filePath("store-out.dat");

  std::printf("list_bench: %d rows, median of %d runs each, list layer against bare store appends\n\n", rows, repeats);
  std::printf("%-22s %14s %14s %10s\n", "phase", "list rows/s", "store rows/s", "list/store");
  for (const auto& [sync, name] :
       {std::pair{store::SyncMode::kBarrier, "barrier"}, std::pair{store::SyncMode::kNone, "no sync"}}) {
    std::vector<double> listImport, storeImport, listExport, storeExport;
    // Alternate the two sides so a slow spell of the disk hits both.
    for (int r = 0; r < repeats; ++r) {
      const auto [li, le] = ThroughTheList(file, listOut, sync, rows);
      const auto [si, se] = ThroughTheStore(lines, storeOut, sync);
      listImport.push_back(li);
      listExport.push_back(le);
      storeImport.push_back(si);
      storeExport.push_back(se);
    }
    QFile a(listOut), b(storeOut);
    a.open(QIODevice::ReadOnly);
    b.open(QIODevice::ReadOnly);
    if (a.readAll() != b.readAll()) Die("the two exports differ");
    const std::pair<const char*, std::pair<double, double>> phases[] = {
        {"import", {Median(listImport), Median(storeImport)}},
        {"export", {Median(listExport), Median(storeExport)}},
    };
    for (const auto& [phase, ms] : phases) {
      const std::string label = std::string(phase) + " (" + name + ")";
      std::printf("%-22s %14.0f %14.0f %9.2fx\n", label.c_str(), rows / ms.first * 1000, rows / ms.second * 1000,
                  ms.first / ms.second);
    }
  }
  return 0;
}
