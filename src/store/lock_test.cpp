// The change lock and the open lock between processes, and within one
// process between descriptors of the same file.

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "store/testing/files.h"
#include "store/cursor.h"
#include "store/database.h"
#include "store/testing/fault_file.h"
#include "store/testing/temp_dir.h"

namespace store {
namespace {

using namespace std::chrono_literals;

// A forked child process that talks back through a pipe. It is killed and
// reaped when the test leaves early, so none outlives a failed assertion.
class Child {
 public:
  // `body` runs in the child with the pipe's write end; its result is the
  // child's exit code.
  explicit Child(const std::function<int(int out)>& body) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      _exit(body(fds[1]));
    }
    close(fds[1]);
    if (pid_ < 0) {
      close(fds[0]);
      return;
    }
    in_ = fds[0];
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (in_ >= 0) close(in_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return in_ >= 0; }

  // The next byte the child writes; false when none comes within `limit`.
  bool Receive(char* byte, std::chrono::milliseconds limit) {
    pollfd p{in_, POLLIN, 0};
    if (poll(&p, 1, int(limit.count())) != 1) return false;
    return read(in_, byte, 1) == 1;
  }

  // Waits for the child's end: its exit code, or -1 when it did not exit
  // normally (a signal, a sanitizer's abort), or -2 when it runs past `limit`.
  int Wait(std::chrono::milliseconds limit = 15s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return -2;  // the destructor kills it
      std::this_thread::sleep_for(5ms);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Everything else the child wrote, once it has ended.
  std::string Rest() {
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(in_, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
    return text;
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1;
};

void Send(int fd, std::string_view text) {
  if (write(fd, text.data(), text.size()) < 0) _exit(90);
}

TEST(LockTest, PostWaitsTwentyRetriesForAnotherProcessThenGoesThroughOnceItReleases) {
  testing::TempDir dir;
  const std::string path = dir.File("locked.tdb");
  ASSERT_TRUE(testing::CreatePhoneDatabase(path).ok());

  std::unique_ptr<testing::FaultFile> file;
  ASSERT_TRUE(testing::FaultFile::Open(path, {}, &file).ok());
  testing::FaultFile* counter = file.get();
  std::shared_ptr<Database> db;
  ASSERT_TRUE(Database::OpenOn(std::move(file), Database::Options{}, &db).ok());
  Cursor phones(db, "telefony");
  ASSERT_TRUE(phones.Open().ok());
  ASSERT_TRUE(phones.Append().ok());
  ASSERT_TRUE(phones.SetText("Tel", "600100200").ok());
  ASSERT_TRUE(phones.SetText("Nazwisko", "Kowalski").ok());

  Child holder([&](int out) {
    std::shared_ptr<Database> other;
    if (!Database::Open(path, Database::Options{}, &other).ok()) return 2;
    Database::Lock lock;
    if (!other->Acquire(LockKind::kExclusive, &lock).ok()) return 3;
    Send(out, "L");
    std::this_thread::sleep_for(3s);
    return 0;
  });
  ASSERT_TRUE(holder.started());
  char byte = 0;
  ASSERT_TRUE(holder.Receive(&byte, 10s)) << "the child never took the lock";
  ASSERT_EQ(byte, 'L');

  counter->Arm(testing::Fault::kNone);
  const auto start = std::chrono::steady_clock::now();
  const Status s = phones.Post();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(s.message(), "Wait for unlock time out");
  EXPECT_EQ(counter->lockAttempts(), db->options().lockRetryCount + 1);
  EXPECT_GE(seconds, 1.5);
  EXPECT_LE(seconds, 6.0);
  EXPECT_EQ(phones.state(), Cursor::State::kInsert) << "the row stays pending";
  EXPECT_EQ(counter->writes(), 0) << "nothing written without the lock";

  ASSERT_EQ(holder.Wait(), 0);
  const Status again = phones.Post();
  ASSERT_TRUE(again.ok()) << again.ToString();
  Cursor check(db, "telefony");
  ASSERT_TRUE(check.Open().ok());
  EXPECT_EQ(check.RowCount(), 1);
  EXPECT_EQ(check.Text("Tel"), "600100200");
}

struct HeldCase {
  LockKind held;
  LockKind tried;
  bool busy;
};

const char* Name(LockKind kind) { return kind == LockKind::kExclusive ? "exclusive" : "shared"; }

// A lock taken through one Database stays held when another descriptor of
// the same file is opened and closed in the same process: the locks belong
// to the open file, not to the process, and closing another descriptor
// cannot drop them.
TEST(LockTest, LockSurvivesAnotherDescriptorOfTheFileClosing) {
  const HeldCase cases[] = {
      {LockKind::kExclusive, LockKind::kExclusive, true},
      {LockKind::kExclusive, LockKind::kShared, true},
      {LockKind::kShared, LockKind::kExclusive, true},
      {LockKind::kShared, LockKind::kShared, false},
  };
  testing::TempDir dir;
  const std::string path = dir.File("held.tdb");
  ASSERT_TRUE(testing::CreatePhoneDatabase(path).ok());
  Database::Options once;
  once.lockRetryCount = 0;

  for (const HeldCase& c : cases) {
    SCOPED_TRACE(std::string(Name(c.held)) + " held, " + Name(c.tried) + " tried");
    std::shared_ptr<Database> holder;
    ASSERT_TRUE(Database::Open(path, Database::Options{}, &holder).ok());
    Database::Lock lock;
    ASSERT_TRUE(holder->Acquire(c.held, &lock).ok());
    {
      std::shared_ptr<Database> passer;
      ASSERT_TRUE(Database::Open(path, Database::Options{}, &passer).ok());
      std::unique_ptr<TableData> table;
      // Beside a shared lock it can take and drop one of its own.
      if (c.held == LockKind::kShared) {
        ASSERT_TRUE(passer->LoadTable("telefony", &table).ok());
      }
    }

    // Another open in this process...
    std::shared_ptr<Database> prober;
    ASSERT_TRUE(Database::Open(path, once, &prober).ok());
    {
      Database::Lock probe;
      const Status s = prober->Acquire(c.tried, &probe);
      EXPECT_EQ(!s.ok(), c.busy) << s.ToString();
      if (c.busy) {
        EXPECT_EQ(s.message(), "Wait for unlock time out");
      }
    }
    // ...and one in another process see the same.
    Child other([&](int out) {
      std::shared_ptr<Database> db;
      Status s = Database::Open(path, once, &db);
      Database::Lock probe;
      if (s.ok()) s = db->Acquire(c.tried, &probe);
      Send(out, s.ok() ? "acquired" : s.message());
      return 0;
    });
    ASSERT_TRUE(other.started());
    ASSERT_EQ(other.Wait(), 0);
    EXPECT_EQ(other.Rest(), c.busy ? "Wait for unlock time out" : "acquired");

    // Released, the lock is free for the others again.
    lock = Database::Lock();
    Database::Lock probe;
    EXPECT_TRUE(prober->Acquire(LockKind::kExclusive, &probe).ok());
  }
}

struct OpenCase {
  bool firstExclusive;
  bool secondExclusive;
  bool refused;
};

// An exclusive open keeps every other open out, in this process and in
// others, and an exclusive open is refused while anyone else has the file.
TEST(LockTest, ExclusiveOpenKeepsOtherOpensOut) {
  const OpenCase cases[] = {
      {true, false, true},
      {true, true, true},
      {false, true, true},
      {false, false, false},
  };
  testing::TempDir dir;
  const std::string path = dir.File("exclusive.tdb");
  ASSERT_TRUE(testing::CreatePhoneDatabase(path).ok());
  const std::string refusal = "Cannot open file " + path;
  auto options = [](bool exclusive) {
    Database::Options o;
    o.exclusive = exclusive;
    return o;
  };

  for (const OpenCase& c : cases) {
    SCOPED_TRACE(std::string(c.firstExclusive ? "exclusive" : "shared") + " open, then " +
                 (c.secondExclusive ? "exclusive" : "shared"));
    std::shared_ptr<Database> first;
    ASSERT_TRUE(Database::Open(path, options(c.firstExclusive), &first).ok());

    {
      std::shared_ptr<Database> second;
      const Status s = Database::Open(path, options(c.secondExclusive), &second);
      EXPECT_EQ(!s.ok(), c.refused) << s.ToString();
      if (c.refused) {
        EXPECT_EQ(s.message(), refusal);
      }
    }
    Child other([&](int out) {
      std::shared_ptr<Database> second;
      const Status s = Database::Open(path, options(c.secondExclusive), &second);
      Send(out, s.ok() ? "opened" : s.message());
      return 0;
    });
    ASSERT_TRUE(other.started());
    ASSERT_EQ(other.Wait(), 0);
    EXPECT_EQ(other.Rest(), c.refused ? refusal : "opened");

    // Once the first has closed the file, the second open goes through.
    first.reset();
    std::shared_ptr<Database> second;
    EXPECT_TRUE(Database::Open(path, options(c.secondExclusive), &second).ok());
  }
}

}  // namespace
}  // namespace store
