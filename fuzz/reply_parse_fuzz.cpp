// Feeds arbitrary bytes, cut into arbitrary pieces, to the reply parser as a
// controller (or a noisy line) might send them, and stores what they carry
// as the commands that take replies store it: every pass must end in
// replies, table rows or trace lines, never a crash, a hang or unbounded
// memory. Built with clang's libFuzzer (see CMakeLists.txt).

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "common/file_names.h"
#include "core/session.h"
#include "serial/link.h"
#include "serial/reply_store.h"
#include "store/cursor.h"
#include "store/database.h"

namespace {

// The run the parser writes into. Every input starts from the same empty
// database: one shared across inputs grows with every entry and event
// stored (rows are only ever appended), and each input would then pay for
// all the inputs before it.
struct World {
  World() {
    static int argc = 1;
    static char name[] = "reply_parse_fuzz";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QCoreApplication>(argc, argv);
    options.sync = store::SyncMode::kNone;
    // Made once: a collator is costly to build, and each open would.
    options.collation = store::MakeLocaleCollation("pl_PL");
    Open();
    database = session->FilePath(kDatabaseFileName);
    trace = session->FilePath(kTraceFileName);
    empty = Bytes();
  }

  void Open() {
    session = std::make_unique<Session>(dir.path());
    if (!session->Create(options).isEmpty()) std::abort();
    link = std::make_unique<Link>(*session);
  }

  QByteArray Bytes() const {
    QFile file(database);
    if (!file.open(QIODevice::ReadOnly)) std::abort();
    return file.readAll();
  }

  // Back to the empty database. Opening it costs far more than the parse of
  // a short input, so it is closed and put back only when the input changed
  // it (or left a row half-made); otherwise the link's own state is reset.
  // The trace the parser writes goes either way, or it would grow the same.
  void Reset() {
    QFile::remove(trace);
    const bool still = session->Dbf1().state() == store::Cursor::State::kBrowse &&
                       session->Dbf2().state() == store::Cursor::State::kBrowse &&
                       session->Dbf3().state() == store::Cursor::State::kBrowse;
    if (still && Bytes() == empty) {
      link->ResetState();
      return;
    }
    link.reset();
    session.reset();
    QFile file(database);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(empty) != empty.size()) std::abort();
    file.close();
    Open();
  }

  std::unique_ptr<QCoreApplication> app;
  QTemporaryDir dir;
  store::OpenOptions options;
  QString database;
  QString trace;
  QByteArray empty;
  std::unique_ptr<Session> session;
  std::unique_ptr<Link> link;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static World world;
  world.Reset();
  Link& link = *world.link;
  // The first byte chooses where the text is cut into notifications.
  const std::size_t step = size == 0 ? 1 : std::size_t(data[0] % 32) + 1;
  for (std::size_t at = size == 0 ? 0 : 1; at < size; at += step) {
    link.Parse(QByteArray(reinterpret_cast<const char*>(data + at), qsizetype(std::min(step, size - at))));
    if (link.PendingText().size() > Link::kMaxRxText) std::abort();
  }
  ReplyStore store(*world.session);
  for (const Reply& reply : link.Listen(Await::kReply, 0).replies) {
    try {
      if (reply.kind == ReplyKind::kEntry && !reply.emptySlot) store.StoreEntry(reply.slot, reply.number);
      if (reply.kind == ReplyKind::kSystem) store.StoreRelayCode(reply.relayCode);
      if (reply.kind == ReplyKind::kEvent && !reply.logEnd) store.StoreEvent(reply.date, reply.number);
    } catch (const std::exception&) {
      // A number that is no number is refused as a read refuses it.
    }
  }
  return 0;
}
