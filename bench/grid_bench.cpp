// The phone grid over the live list against the same grid over a model that
// holds every cell ready-made.
//
// With N rows (half of them marked) the grid is scrolled to F places spread
// over the list and painted each time. The peer is a QStandardItemModel
// filled beforehand with the very texts and flags the list model computes
// on demand, drawn by the same delegate; the ratio is what reading rows from
// the cursor and looking the marks up for the painted rows costs. A mark
// toggle (mark, re-read the table, repaint) is timed against a repaint of the
// peer.
//
//   grid_bench [--rows N] [--frames F]

#include <QApplication>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/session.h"
#include "phonelist/list_commands.h"
#include "phonelist/list_model.h"
#include "phonelist/marks.h"
#include "phonelist/list_grid.h"
#include "store/cursor.h"
#include "store/database.h"

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "grid_bench: %s\n", message.c_str());
  std::exit(1);
}

void Check(const store::Status& s, const char* what) {
  if (!s.ok()) Die(std::string(what) + ": " + s.message());
}

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Fill(Session& session, Marks& marks, int rows) {
  store::Cursor& list = session.Dbf1();
  for (int i = 0; i < rows; ++i) {
    if (!list.Append().ok()) Die("append");
    Check(list.SetText("Imie", "Imie" + std::to_string(i % 97)), "store");
    Check(list.SetText("Nazwisko", "Nazwisko" + std::to_string(i)), "store");
    Check(list.SetText("Tel", std::to_string(500000000 + i)), "store");
    Check(list.SetInt("ST", i % 3 == 0 ? 0 : 1), "store");
    if (!list.Post().ok()) Die("post");
    if (i % 2 == 0) marks.Append(std::to_string(500000000 + i));
  }
  list.First();
}

QTableView* MakeGrid(QAbstractItemModel* model) {
  auto* grid = new QTableView;
  grid->setModel(model);
  grid->setItemDelegate(new PhoneGridDelegate(grid));
  grid->horizontalHeader()->hide();
  grid->verticalHeader()->hide();
  grid->verticalHeader()->setDefaultSectionSize(28);
  const int widths[4] = {39, 250, 300, 160};
  for (int i = 0; i < 4; ++i) grid->setColumnWidth(i, widths[i]);
  grid->resize(753, 387);
  grid->show();
  return grid;
}

// Milliseconds per frame over `frames` scroll places.
double PaintFrames(QTableView* grid, int rows, int frames) {
  const auto start = Clock::now();
  for (int f = 0; f < frames; ++f) {
    const int row = int((long long)(rows - 1) * f / std::max(1, frames - 1));
    grid->scrollTo(grid->model()->index(row, 0), QAbstractItemView::PositionAtCenter);
    grid->viewport()->grab();
  }
  return MsSince(start) / frames;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int rows = 10000;
  int frames = 300;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--rows")
      rows = std::atoi(argv[i + 1]);
    else if (flag == "--frames")
      frames = std::atoi(argv[i + 1]);
    else
      Die("usage: grid_bench [--rows N] [--frames F]");
  }
  if (rows < 1 || frames < 1) Die("usage: grid_bench [--rows N] [--frames F]");

  QTemporaryDir dir;
  Session session(dir.path());
  store::OpenOptions options;
  options.sync = store::SyncMode::kNone;
  if (!session.Create(options).isEmpty()) Die("cannot create the database");
  Marks marks;
  marks.SetCollation(&session.collation());
  Fill(session, marks, rows);

  PhoneListModel live(session, marks);
  QStandardItemModel ready(rows, PhoneListModel::kColumnCount);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < PhoneListModel::kColumnCount; ++c) {
      const QModelIndex from = live.index(r, c);
      auto* item = new QStandardItem;
      for (int role : {int(Qt::DisplayRole), int(PhoneListModel::kCheckRole), int(PhoneListModel::kConfirmedRole),
                       int(PhoneListModel::kCurrentRole), int(PhoneListModel::kPositionRole)}) {
        item->setData(from.data(role), role);
      }
      ready.setItem(r, c, item);
    }
  }

  QTableView* liveGrid = MakeGrid(&live);
  QTableView* readyGrid = MakeGrid(&ready);
  // Warm both up once (fonts, caches) before measuring.
  PaintFrames(liveGrid, rows, 5);
  PaintFrames(readyGrid, rows, 5);
  const double liveMs = PaintFrames(liveGrid, rows, frames);
  const double readyMs = PaintFrames(readyGrid, rows, frames);

  // A mark toggle in the middle of the list, as a click does it.
  const int toggles = 50;
  auto start = Clock::now();
  for (int t = 0; t < toggles; ++t) {
    if (!session.Dbf1().MoveTo(rows / 2).ok()) Die("move");
    ToggleMark(session, marks);
    live.Changed();
    liveGrid->viewport()->grab();
  }
  const double toggleMs = MsSince(start) / toggles;

  std::printf("grid_bench: %d rows, %d marked, %d frames of a 753x387 grid\n\n", rows, marks.Count(), frames);
  std::printf("%-34s %10.3f ms\n", "frame over the live list", liveMs);
  std::printf("%-34s %10.3f ms\n", "frame over ready-made cells", readyMs);
  std::printf("%-34s %10.2fx\n", "live / ready-made", liveMs / readyMs);
  std::printf("%-34s %10.3f ms  (%.1f frames of the peer)\n", "mark toggle incl. repaint", toggleMs,
              toggleMs / readyMs);
  delete liveGrid;
  delete readyGrid;
  return 0;
}
