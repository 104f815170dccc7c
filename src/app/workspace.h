#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "core/sites.h"

class InstanceLock;
class Session;
class TForm1;

// The sites one window works on, one at a time. Switching to another site
// takes that site's instance lock first, then closes the window through its
// usual close step (the unsaved-changes question), and only then opens the
// other site's database in a new window, which asks that site's PIN.
class Workspace : public QObject {
  Q_OBJECT

 public:
  explicit Workspace(const QString& mainDirectory, QObject* parent = nullptr);
  ~Workspace() override;

  // Opens `site` in a new window and shows it; false, told, when another
  // window or command holds it or its database cannot be opened.
  bool Open(const Site& site);
  TForm1* window() const { return window_.get(); }

  // Runs on every window before it shows (tests answer its PIN there).
  std::function<void(TForm1&)> prepare;

 signals:
  // The window closed, and no other site is to follow it.
  void finished();

 private:
  // `held`: the site's instance lock when the caller took it already.
  bool Open(const Site& site, std::unique_ptr<InstanceLock> held);
  void Switch(const Site& site);

  const QString main_;
  // Declared in the order they are made: the window goes first, its session
  // next, the lock last.
  std::unique_ptr<InstanceLock> lock_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<TForm1> window_;
  bool switching_ = false;
};
