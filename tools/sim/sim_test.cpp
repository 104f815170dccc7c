#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "sim/controller.h"
#include "sim/simulator.h"

namespace {

using Lines = std::vector<std::string>;

// Slot 1 the administrator, 2 and 6 the same caller, 3 cleared, 5 an
// international number, 4 never written; three calls in the log.
void Seed(sim::Controller& c) {
  c.SetSlot(1, "600100200", "Admin");
  c.SetSlot(2, "501222333", "501222333");
  c.SetSlot(3, sim::Controller::kCleared, "");
  c.SetSlot(5, "+48601000111", "Jan");
  c.SetSlot(6, "501222333", "dup");
  c.SetSlot(1001, "1234", "");
  c.SetSlot(1002, "698765432", "");
  c.AddEvent("600100200", "2601011200");
  c.AddEvent("501222333", "2601021300");
  c.AddEvent("602444555", "2601031400");
}

struct Step {
  std::string line;
  Lines reply;
};

struct Case {
  const char* what;
  std::vector<Step> steps;
};

const Lines kOk = {"OK"};
const Lines kError = {"ERROR"};
const std::string kLogEnd = "CPBM:999999999,0000000000";

TEST(ControllerTest, CommandsReplyAsTheControllerDoes) {
  const std::vector<Case> cases = {
      {"never written slot, leading zeros", {{"AT+CPBR=0004", {R"(+CPBR: 4,"4294967295",129,"")", "OK"}}}},
      {"cleared slot", {{"AT+CPBR=3", {R"(+CPBR: 3,"999999999",129,"")", "OK"}}}},
      {"international number is type 145", {{"AT+CPBR=005", {R"(+CPBR: 5,"+48601000111",145,"Jan")", "OK"}}}},
      {"last slot", {{"AT+CPBR=2000", {R"(+CPBR: 2000,"4294967295",129,"")", "OK"}}}},
      {"slot out of range", {{"AT+CPBR=2001", kError}, {"AT+CPBR=", kError}, {"AT+CPBR=1a", kError}}},
      {"system info", {{"AT+CPBR=3001", {"SYS: 1,4,0", "OK"}}}},
      {"settings block",
       {{"AT+CPBR=3003",
         {R"(+CPBR: 1001,"1234",129,"")", R"(+CPBR: 1002,"698765432",129,"")", R"(+CPBR: 1003,"4294967295",129,"")",
          R"(+CPBR: 0,"4294967295",129,"")", "OK"}}}},
      {"write with and without semicolon",
       {{R"(AT+CPBW=7,"+48700800900",145,"Ala, \"ma\"";)", kOk},
        {"AT+CPBR=7", {R"(+CPBR: 7,"+48700800900",145,"Ala, \"ma\"")", "OK"}},
        {R"(AT+CPBW=0008,"700800901",129,"")", kOk},
        {"AT+CPBR=8", {R"(+CPBR: 8,"700800901",129,"")", "OK"}}}},
      {"malformed writes",
       {{R"(AT+CPBW=7,"1",129)", kError},
        {R"(AT+CPBW=2001,"1",129,"x")", kError},
        {R"(AT+CPBW=7,1,129,"x")", kError},
        {R"(AT+CPBW=7,"1",,"x")", kError},
        {"AT+CPBR=7", {R"(+CPBR: 7,"4294967295",129,"")", "OK"}}}},
      {"add fills the first free slot from 2",
       {{"AT+CPBM=1015,777888999,777888999;", kOk},
        {"AT+CPBM=1015,777888990,777888990", kOk},
        {"AT+CPBR=3", {R"(+CPBR: 3,"777888999",129,"777888999")", "OK"}},
        {"AT+CPBR=4", {R"(+CPBR: 4,"777888990",129,"777888990")", "OK"}}}},
      {"remove clears every copy but spares the administrator",
       {{"AT+CPBM=1016,501222333,501222333;", kOk},
        {"AT+CPBR=2", {R"(+CPBR: 2,"999999999",129,"")", "OK"}},
        {"AT+CPBR=6", {R"(+CPBR: 6,"999999999",129,"")", "OK"}},
        {"AT+CPBM=1016,600100200,600100200;", kOk},
        {"AT+CPBR=1", {R"(+CPBR: 1,"600100200",129,"Admin")", "OK"}}}},
      {"relay code",
       {{"AT+CPBM=1021,7,7;", kOk},
        {"AT+CPBM=1021,11,11;", kError},
        {"AT+CPBM=1021,2,2;", kError},
        {"AT+CPBR=3001", {"SYS: 1,7,0", "OK"}}}},
      {"own phone, also emptied",
       {{"AT+CPBM=1012,698000111,698000111;", kOk},
        {"AT+CPBR=1002", {R"(+CPBR: 1002,"698000111",129,"")", "OK"}},
        {"AT+CPBM=1012,,;", kOk},
        {"AT+CPBR=1002", {R"(+CPBR: 1002,"",129,"")", "OK"}}}},
      {"host settings read back",
       {{"AT+CPBM=1023,gate.example.pl,gate.example.pl;", kOk},
        {"AT+CPBM=1024,5001,5001;", kOk},
        {"AT+CPBM=1023", {R"(+CPBR: 1023,"gate.example.pl",129,"")", "OK"}},
        {"AT+CPBM=1024", {R"(+CPBR: 1024,"5001",129,"")", "OK"}}}},
      {"log tail",
       {{"AT+CPBM=2", {"CPBM:501222333,2601021300", "CPBM:602444555,2601031400", kLogEnd, "OK"}},
        {"AT+CPBM=50",
         {"CPBM:600100200,2601011200", "CPBM:501222333,2601021300", "CPBM:602444555,2601031400", kLogEnd, "OK"}},
        {"AT+CPBM=0", {kLogEnd, "OK"}},
        {"AT+CPBM=-3", {kLogEnd, "OK"}}}},
      {"anything else",
       {{"", kError},
        {"AT", kError},
        {"at+cpbr=1", kError},
        {"AT+CPBR=1 ", kError},
        {"AT+CPBM=1099,1,1;", kError},
        {"AT+CPBM=abc", kError},
        {"AT+CPBM=1015,1;", kError}}},
  };
  for (const Case& c : cases) {
    sim::Controller controller;
    Seed(controller);
    for (const Step& step : c.steps) EXPECT_EQ(controller.Handle(step.line), step.reply) << c.what << ": " << step.line;
  }
}

TEST(ControllerTest, ReminderAndFullListAreKeptOrRefused) {
  sim::Controller c;
  EXPECT_EQ(c.Handle("AT+CPBM=1004,6,2609300000;"), kOk);
  EXPECT_EQ(c.Reminder(), "2609300000");
  for (int slot = 2; slot <= sim::Controller::kLastSlot; ++slot) c.SetSlot(slot, "1", "1");
  c.SetSlot(1001, sim::Controller::kNeverWritten, "");
  EXPECT_EQ(c.Handle("AT+CPBM=1015,2,2;"), kError);  // the settings slot is no free list slot
  EXPECT_EQ(c.Number(1001), sim::Controller::kNeverWritten);
}

TEST(ControllerTest, GeneratedLogIsReproduciblePlausibleAndInOrder) {
  sim::Controller a, b, other;
  a.AddEvent("600100200", "2612312359");  // replaced, or the times would fall back
  a.GenerateEvents(500, 42);
  b.GenerateEvents(500, 42);
  other.GenerateEvents(500, 43);
  ASSERT_EQ(a.Events().size(), 500u);
  EXPECT_EQ(a.Events(), b.Events());
  EXPECT_NE(a.Events(), other.Events());
  std::string previous;
  for (const auto& [number, stamp] : a.Events()) {
    EXPECT_EQ(number.size(), 9u);
    EXPECT_NE(std::string("567").find(number[0]), std::string::npos) << number;
    EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << number;
    ASSERT_EQ(stamp.size(), 10u);
    EXPECT_TRUE(stamp.starts_with("26")) << stamp;
    EXPECT_GT(stamp, previous);
    const int month = std::stoi(stamp.substr(2, 2)), day = std::stoi(stamp.substr(4, 2));
    EXPECT_TRUE(month >= 1 && month <= 12 && day >= 1 && day <= 31) << stamp;
    EXPECT_LT(std::stoi(stamp.substr(6, 2)), 24) << stamp;
    EXPECT_LT(std::stoi(stamp.substr(8, 2)), 60) << stamp;
    previous = stamp;
  }
}

class StateFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("sim_test_" + std::to_string(::getpid()) + "_" +
                                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

TEST_F(StateFileTest, RoundTripKeepsEverything) {
  sim::Controller saved;
  Seed(saved);
  saved.SetSlot(0, sim::Controller::kNeverWritten, "named only");
  saved.SetSlot(9, "700\t1", "back\\slash\r\nline");
  saved.SetRelayCode(9);
  saved.Handle("AT+CPBM=1004,6,2612310000;");
  std::string error;
  ASSERT_TRUE(saved.Save(Path("state"), &error)) << error;

  sim::Controller loaded;
  loaded.AddEvent("stale", "0000000000");  // replaced, not merged
  ASSERT_TRUE(loaded.Load(Path("state"), &error)) << error;
  for (int slot = 0; slot <= sim::Controller::kLastSlot; ++slot) {
    ASSERT_EQ(loaded.Number(slot), saved.Number(slot)) << slot;
    ASSERT_EQ(loaded.Name(slot), saved.Name(slot)) << slot;
  }
  EXPECT_EQ(loaded.RelayCode(), 9);
  EXPECT_EQ(loaded.Reminder(), "2612310000");
  EXPECT_EQ(loaded.Events(), saved.Events());
  EXPECT_FALSE(std::filesystem::exists(Path("state.tmp")));
}

TEST_F(StateFileTest, BadFilesLeaveTheStateAlone) {
  const std::vector<std::pair<const char*, const char*>> files = {
      {"no header", "relay\t5\n"},
      {"other version", "selvantrix-sim-state\t2\n"},
      {"unknown record", "selvantrix-sim-state\t1\nrelay\t5\nbogus\t1\n"},
      {"slot out of range", "selvantrix-sim-state\t1\nslot\t2001\t1\t\n"},
      {"bad escape", "selvantrix-sim-state\t1\nreminder\t\\x\n"},
  };
  for (const auto& [what, text] : files) {
    std::ofstream(Path("bad")) << text;
    sim::Controller c;
    Seed(c);
    std::string error;
    EXPECT_FALSE(c.Load(Path("bad"), &error)) << what;
    EXPECT_FALSE(error.empty()) << what;
    EXPECT_EQ(c.RelayCode(), sim::Controller::kDefaultRelayCode) << what;
    EXPECT_EQ(c.Name(1), "Admin") << what;
  }
  sim::Controller c;
  std::string error;
  EXPECT_FALSE(c.Load(Path("missing"), &error));
}

// The program under test's side of the line: a raw port, read until a
// complete reply is in, or a generous deadline passes.
int OpenPort(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return fd;
  termios tio{};
  ::tcgetattr(fd, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// One read() as the program under test sees it: when it returned and what.
struct Chunk {
  Clock::time_point at;
  std::string bytes;
};

std::vector<Chunk> ReadChunks(int fd) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  std::vector<Chunk> chunks;
  std::string bytes;
  while (!bytes.ends_with("OK\r\n") && !bytes.ends_with("ERROR\r\n") && Clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // hung up: nothing more will come
    chunks.push_back({Clock::now(), std::string(buffer, size_t(n))});
    bytes += chunks.back().bytes;
  }
  return chunks;
}

std::string ReadReply(int fd) {
  std::string bytes;
  for (const Chunk& chunk : ReadChunks(fd)) bytes += chunk.bytes;
  return bytes;
}

bool Send(int fd, const std::string& bytes) { return ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()); }

std::string OnTheWire(const Lines& lines) {
  std::string bytes;
  for (const std::string& line : lines) bytes += line + "\r\n";
  return bytes;
}

// After a hang-up the port reads end-of-file or fails with EIO, and never
// yields another byte.
::testing::AssertionResult HungUp(int fd) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, 5000) <= 0) return ::testing::AssertionFailure() << "the port is still up after 5 s";
  char buffer[256];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  if (n == 0 || (n < 0 && errno == EIO)) return ::testing::AssertionSuccess();
  if (n > 0) return ::testing::AssertionFailure() << "read " << std::string(buffer, size_t(n));
  return ::testing::AssertionFailure() << "read failed: " << std::strerror(errno);
}

struct Wire {
  const char* what;
  sim::Simulator::Options options;
};

TEST(SimulatorTest, AnswersOverThePseudoTerminal) {
  const std::string expected = "+CPBR: 2,\"501222333\",129,\"501222333\"\r\nOK\r\n";
  const std::vector<Wire> wires = {
      {"plain", {}},
      {"coalesced", {.coalesce = true}},
      {"split", {.split = true, .seed = 7}},
      {"paced with noise", {.paceBaud = 9600, .garbage = true, .seed = 3}},
      {"behind a USB adapter", {.usbLatencyMs = 16}},
      {"split behind a USB adapter", {.split = true, .seed = 7, .usbLatencyMs = 16}},
      {"paced behind a USB adapter", {.paceBaud = 9600, .usbLatencyMs = 16}},
  };
  for (const Wire& wire : wires) {
    sim::Simulator simulator(wire.options);
    std::string error;
    ASSERT_TRUE(simulator.Start(&error)) << error;
    {
      std::lock_guard lock(simulator.mutex());
      simulator.controller().SetSlot(2, "501222333", "501222333");
    }
    // Two sessions: the port must still answer after the program closed it once.
    for (int session = 0; session < 2; ++session) {
      const int fd = OpenPort(simulator.DevicePath());
      ASSERT_GE(fd, 0) << wire.what;
      const std::string command = "\nAT+CPBR=002\r";
      ASSERT_EQ(::write(fd, command.data(), command.size()), ssize_t(command.size()));
      const std::string reply = ReadReply(fd);
      ::close(fd);
      if (wire.options.garbage) {
        ASSERT_TRUE(reply.ends_with(expected)) << wire.what << ": " << reply;
        const std::string noise = reply.substr(0, reply.size() - expected.size());
        EXPECT_FALSE(noise.empty()) << wire.what;
        EXPECT_EQ(noise.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyz"), std::string::npos) << noise;
      } else {
        EXPECT_EQ(reply, expected) << wire.what;
      }
    }
    EXPECT_EQ(simulator.Received(), Lines({"AT+CPBR=002", "AT+CPBR=002"})) << wire.what;
    simulator.Stop();
  }
}

TEST(SimulatorTest, UsbAdapterHandsOverAWholeReplyInOneRead) {
  // The pause between lines stands for a direct line; behind the adapter the
  // controller's lines come back to back, so even a long one splits nothing.
  constexpr int kLatencyMs = 16;
  sim::Simulator simulator({.lineGapMs = 100, .usbLatencyMs = kLatencyMs});
  std::string error;
  ASSERT_TRUE(simulator.Start(&error)) << error;
  {
    std::lock_guard lock(simulator.mutex());
    Seed(simulator.controller());
  }
  const std::string entry2 = "+CPBR: 2,\"501222333\",129,\"501222333\"\r\nOK\r\n";
  const std::string entry5 = "+CPBR: 5,\"+48601000111\",145,\"Jan\"\r\nOK\r\n";
  const struct {
    const char* what;
    std::string command;
    std::string firstRead;
  } exchanges[] = {
      {"an entry and its OK", "AT+CPBR=002\r", entry2},
      {"a refusal", "AT+CPBR=2001\r", "ERROR\r\n"},
      {"the event log", "AT+CPBM=50\r",
       OnTheWire(
           {"CPBM:600100200,2601011200", "CPBM:501222333,2601021300", "CPBM:602444555,2601031400", kLogEnd, "OK"})},
      // Both replies are in the adapter before its next tick.
      {"two commands in one write", "AT+CPBR=2\rAT+CPBR=5\r", entry2 + entry5},
  };
  const int fd = OpenPort(simulator.DevicePath());
  ASSERT_GE(fd, 0);
  const auto start = Clock::now();
  auto lastRead = start;
  for (const auto& exchange : exchanges) {
    ASSERT_TRUE(Send(fd, exchange.command)) << exchange.what;
    const std::vector<Chunk> chunks = ReadChunks(fd);
    ASSERT_FALSE(chunks.empty()) << exchange.what;
    EXPECT_EQ(chunks.front().bytes, exchange.firstRead) << exchange.what;
    lastRead = chunks.back().at;
  }
  ::close(fd);
  // Each exchange needs a handover of its own, and handovers are at least a
  // latency period apart however late anyone wakes.
  EXPECT_GE(lastRead - start, milliseconds(kLatencyMs) * (std::size(exchanges) - 1));
}

TEST(SimulatorTest, UsbAdapterOnAPacedLineHandsOverAtItsTicks) {
  constexpr int kBaud = 9600, kLatencyMs = 16;
  sim::Simulator simulator({.paceBaud = kBaud, .usbLatencyMs = kLatencyMs});
  std::string error;
  ASSERT_TRUE(simulator.Start(&error)) << error;
  const std::string command = "AT+CPBM=20\r";
  std::string expected;
  {
    std::lock_guard lock(simulator.mutex());
    simulator.controller().GenerateEvents(20, 5);
    expected = OnTheWire(simulator.controller().Handle("AT+CPBM=20"));
  }
  const int fd = OpenPort(simulator.DevicePath());
  ASSERT_GE(fd, 0);
  const auto sent = Clock::now();
  ASSERT_TRUE(Send(fd, command));
  const std::vector<Chunk> chunks = ReadChunks(fd);
  ::close(fd);
  ASSERT_FALSE(chunks.empty());
  std::string reply;
  for (const Chunk& chunk : chunks) reply += chunk.bytes;
  EXPECT_EQ(reply, expected);

  // About 600 ms on the wire: the bytes take their time, the first of them
  // arrive while the rest are still on the line, and since two handovers are
  // at least one latency period apart, far fewer reads than bytes (the bound
  // allows two thirds of a period per read, for a reader that wakes late).
  const auto wireTime = std::chrono::microseconds(10'000'000LL * static_cast<long long>(expected.size()) / kBaud);
  EXPECT_GE(chunks.back().at - sent, wireTime);
  EXPECT_GE(chunks.size(), 2u);
  const auto span = chunks.back().at - chunks.front().at;
  const size_t mostReads = 2 + size_t(span / milliseconds(kLatencyMs * 2 / 3));
  EXPECT_LE(chunks.size(), mostReads) << "reads over " << std::chrono::duration_cast<milliseconds>(span).count()
                                      << " ms";
}

TEST(SimulatorTest, ErrorOnRefusesExactlyTheListedCommands) {
  const std::string kWrite7 = R"(AT+CPBW=7,"700800907",129,"seven";)";
  const std::string kWrite8 = R"(AT+CPBW=8,"700800908",129,"eight";)";
  const std::vector<Step> session = {
      {kWrite7, kOk},
      {kWrite8, kError},  // refused: slot 8 stays as it was
      {"AT+CPBR=8", {R"(+CPBR: 8,"4294967295",129,"")", "OK"}},
      {"AT+CPBR=7", kError},  // a valid read refused all the same
      {"AT+CPBR=7", {R"(+CPBR: 7,"700800907",129,"seven")", "OK"}},
  };
  const std::vector<Wire> wires = {
      {"plain", {.errorOn = {2, 4}}},
      {"behind a USB adapter", {.usbLatencyMs = 16, .errorOn = {2, 4}}},
  };
  for (const Wire& wire : wires) {
    sim::Simulator simulator(wire.options);
    std::string error;
    ASSERT_TRUE(simulator.Start(&error)) << error;
    const int fd = OpenPort(simulator.DevicePath());
    ASSERT_GE(fd, 0) << wire.what;
    Lines sent;
    for (const Step& step : session) {
      ASSERT_TRUE(Send(fd, step.line + "\r")) << wire.what;
      EXPECT_EQ(ReadReply(fd), OnTheWire(step.reply)) << wire.what << ": command " << sent.size() + 1;
      sent.push_back(step.line);
    }
    ::close(fd);
    EXPECT_EQ(simulator.Received(), sent) << wire.what;
    {
      std::lock_guard lock(simulator.mutex());
      EXPECT_EQ(simulator.controller().Number(8), sim::Controller::kNeverWritten) << wire.what;
      EXPECT_EQ(simulator.controller().Number(7), "700800907") << wire.what;
    }

    // A new start is a new line: the count begins again.
    simulator.Stop();
    ASSERT_TRUE(simulator.Start(&error)) << error;
    const int again = OpenPort(simulator.DevicePath());
    ASSERT_GE(again, 0) << wire.what;
    ASSERT_TRUE(Send(again, kWrite8 + "\r"));
    EXPECT_EQ(ReadReply(again), "OK\r\n") << wire.what;
    ASSERT_TRUE(Send(again, "AT+CPBR=8\r"));
    EXPECT_EQ(ReadReply(again), "ERROR\r\n") << wire.what;
    ::close(again);
  }
}

TEST(SimulatorTest, UnplugAfterAnswersThenHangsUpAndTheDeviceIsGone) {
  const std::string kWrite9 = R"(AT+CPBW=9,"700800909",129,"nine";)";
  const std::vector<Wire> wires = {
      {"plain", {.unplugAfter = 2}},
      {"behind a USB adapter", {.usbLatencyMs = 16, .unplugAfter = 2}},
      {"paced", {.paceBaud = 9600, .unplugAfter = 2}},
  };
  for (const Wire& wire : wires) {
    sim::Simulator simulator(wire.options);
    std::string error;
    ASSERT_TRUE(simulator.Start(&error)) << error;
    {
      std::lock_guard lock(simulator.mutex());
      Seed(simulator.controller());
    }
    const std::string path = simulator.DevicePath();
    struct stat device {};
    ASSERT_EQ(::stat(path.c_str(), &device), 0) << wire.what;
    const int fd = OpenPort(path);
    ASSERT_GE(fd, 0) << wire.what;
    ASSERT_TRUE(Send(fd, "AT+CPBR=2\r"));
    EXPECT_EQ(ReadReply(fd), "+CPBR: 2,\"501222333\",129,\"501222333\"\r\nOK\r\n") << wire.what;
    // The second command is answered in full; the third, already on the
    // line with it, never is.
    ASSERT_TRUE(Send(fd, kWrite9 + "\rAT+CPBR=9\r"));
    EXPECT_EQ(ReadReply(fd), "OK\r\n") << wire.what;
    EXPECT_TRUE(HungUp(fd)) << wire.what;
    ::close(fd);

    // The node is gone. Tests running beside this one may already have got
    // its number for a pseudo-terminal of their own, created later.
    struct stat now {};
    const bool gone = ::stat(path.c_str(), &now) != 0 || now.st_ctim.tv_sec != device.st_ctim.tv_sec ||
                      now.st_ctim.tv_nsec != device.st_ctim.tv_nsec;
    EXPECT_TRUE(gone) << wire.what << ": " << path << " is still there";
    EXPECT_EQ(simulator.Received(), Lines({"AT+CPBR=2", kWrite9})) << wire.what;
    {
      std::lock_guard lock(simulator.mutex());
      EXPECT_EQ(simulator.controller().Number(9), "700800909") << wire.what;
    }

    simulator.Stop();
    simulator.Stop();
    // Plugged in again, the line works and is pulled again after two commands.
    ASSERT_TRUE(simulator.Start(&error)) << wire.what << ": " << error;
    const int again = OpenPort(simulator.DevicePath());
    ASSERT_GE(again, 0) << wire.what;
    ASSERT_TRUE(Send(again, "AT+CPBR=9\r"));
    EXPECT_EQ(ReadReply(again), "+CPBR: 9,\"700800909\",129,\"nine\"\r\nOK\r\n") << wire.what;
    ASSERT_TRUE(Send(again, "AT+CPBR=9\r"));
    EXPECT_FALSE(ReadReply(again).empty()) << wire.what;
    EXPECT_TRUE(HungUp(again)) << wire.what;
    ::close(again);
    // The destructor stops the unplugged simulator.
  }
}

TEST(SimulatorTest, StartWhileRunningLeavesTheRunningLineAlone) {
  sim::Simulator simulator;
  std::string error;
  ASSERT_TRUE(simulator.Start(&error)) << error;
  EXPECT_FALSE(simulator.Start(&error));
  EXPECT_FALSE(error.empty());
  const int fd = OpenPort(simulator.DevicePath());
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(Send(fd, "AT+CPBR=3001\r"));
  EXPECT_EQ(ReadReply(fd), "SYS: 1,4,0\r\nOK\r\n");
  ::close(fd);
}

}  // namespace
