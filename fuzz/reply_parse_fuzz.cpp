// Feeds arbitrary bytes, cut into arbitrary pieces, to the reply parser as a
// controller (or a noisy line) might send them: every pass must end in
// flags, table rows or trace lines, never a crash, a hang or unbounded
// memory. Built with clang's libFuzzer (see CMakeLists.txt).

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "core/session.h"
#include "serial/link.h"
#include "store/database.h"

namespace {

struct World {
  World() {
    static int argc = 1;
    static char name[] = "reply_parse_fuzz";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QCoreApplication>(argc, argv);
    session = std::make_unique<Session>(dir.path());
    store::OpenOptions options;
    options.sync = store::SyncMode::kNone;
    if (!session->Create(options).isEmpty()) std::abort();
    link = std::make_unique<Link>(*session);
  }
  std::unique_ptr<QCoreApplication> app;
  QTemporaryDir dir;
  std::unique_ptr<Session> session;
  std::unique_ptr<Link> link;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static World world;
  Link& link = *world.link;
  link.ResetState();
  // The first byte chooses where the text is cut into notifications.
  const std::size_t step = size == 0 ? 1 : std::size_t(data[0] % 32) + 1;
  for (std::size_t at = size == 0 ? 0 : 1; at < size; at += step) {
    link.Parse(QByteArray(reinterpret_cast<const char*>(data + at), qsizetype(std::min(step, size - at))));
    if (link.PendingText().size() > Link::kMaxRxText) std::abort();
  }
  return 0;
}
