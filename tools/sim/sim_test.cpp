#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
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
    dir_ = std::filesystem::temp_directory_path() /
           ("sim_test_" + std::to_string(::getpid()) + "_" +
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

std::string ReadReply(int fd) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::string bytes;
  while (!bytes.ends_with("OK\r\n") && !bytes.ends_with("ERROR\r\n") && std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) bytes.append(buffer, size_t(n));
  }
  return bytes;
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

}  // namespace
