#include "app/workspace.h"

#include <QTimer>

#include "app/dlgostiv.h"
#include "app/main_window.h"
#include "common/private_file.h"
#include "core/instance_lock.h"
#include "core/session.h"

Workspace::Workspace(const QString& mainDirectory, QObject* parent) : QObject(parent), main_(mainDirectory) {}

Workspace::~Workspace() {
  window_.reset();
  session_.reset();
}

bool Workspace::Open(const Site& site) { return Open(site, nullptr); }

bool Workspace::Open(const Site& site, std::unique_ptr<InstanceLock> held) {
  // The program directory is made on first start; a site's exists already.
  if (site.main) MakePrivateDirectory(site.directory);
  // Two windows on one database would each save over what the other shows.
  std::unique_ptr<InstanceLock> lock = std::move(held);
  if (!lock) {
    lock = std::make_unique<InstanceLock>(site.directory);
    if (!lock->TryLock(0)) {
      ShowDialog(window_.get(), QString::fromUtf8(kAlreadyRunningMessage), kNoticeKind);
      return false;
    }
  }
  auto session = std::make_unique<Session>(site.directory);
  auto window = std::make_unique<TForm1>(*session);
  if (!window->DatabaseReady()) return false;
  window->SetWorkspace(site, main_, [this](const Site& next) {
    // Queued: the window must not be closed and destroyed from inside its own menu's call.
    QTimer::singleShot(0, this, [this, next] { Switch(next); });
  });
  connect(window.get(), &TForm1::closed, this, [this] {
    if (!switching_) emit finished();
  });
  window_.reset();
  session_.reset();
  lock_ = std::move(lock);
  session_ = std::move(session);
  window_ = std::move(window);
  if (prepare) prepare(*window_);
  window_->show();
  // The window the user just picked takes the keyboard; without this a
  // window manager that gives focus only on a click leaves it nowhere.
  window_->raise();
  window_->activateWindow();
  return true;
}

void Workspace::Switch(const Site& site) {
  if (!window_) return;
  // The other site's lock first, kept through the close: a site open
  // elsewhere is said before anything of this one is closed, and nobody
  // takes it in between.
  auto lock = std::make_unique<InstanceLock>(site.directory);
  if (!lock->TryLock(0)) {
    window_->ShowNotice(QString::fromUtf8(kAlreadyRunningMessage));
    return;
  }
  const Site previous = window_->site();
  switching_ = true;
  const bool closed = window_->close();
  switching_ = false;
  if (!closed) return;  // the user kept this site (unsaved changes)
  window_.reset();
  session_.reset();
  lock_.reset();
  if (Open(site, std::move(lock))) return;
  // The other site could not be opened (told by its window's start): back
  // to the one the user left, or the end when even that is gone.
  if (!Open(previous)) emit finished();
}
