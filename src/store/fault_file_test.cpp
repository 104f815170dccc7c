// The fault-injecting file layer itself: what a failed and a cut write leave
// on disk, which the fault runs of the store rely on.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "store/file.h"
#include "store/status.h"
#include "store/testing/fault_file.h"
#include "store/testing/temp_dir.h"

namespace store {
namespace {

using testing::Fault;
using testing::FaultFile;

struct CutCase {
  std::int64_t offset;
  std::size_t length;
  std::size_t kept;  // bytes a cut leaves
};

TEST(FaultFileTest, CutLeavesTheWritesFirstSectorAndNothingAfter) {
  const CutCase cases[] = {
      {0, 12, 0},         // one sector: all or nothing
      {500, 12, 0},       // ends on the boundary: still one sector
      {500, 13, 12},      // one byte over
      {1023, 4, 1},       // a 4-byte number across a boundary
      {1024, 4096, 512},  // starts on a boundary: its first sector
      {1025, 600, 511},   //
      {100, 5000, 412},   // many sectors: only the first part
  };
  testing::TempDir dir;
  for (const CutCase& c : cases) {
    SCOPED_TRACE("write of " + std::to_string(c.length) + " at " + std::to_string(c.offset));
    const std::string path = dir.File("cut.bin");
    std::unique_ptr<File> os;
    ASSERT_TRUE(OpenOsFile(path, {true, false}, &os).ok());
    const std::string base(8192, '.');
    ASSERT_TRUE(os->WriteAt(0, base).ok());
    os.reset();

    std::unique_ptr<FaultFile> file;
    ASSERT_TRUE(FaultFile::Open(path, {}, &file).ok());
    file->Arm(Fault::kCut, 2);
    EXPECT_TRUE(file->WriteAt(0, "A").ok());
    EXPECT_FALSE(file->fired());
    const std::string data(c.length, 'B');
    EXPECT_FALSE(file->WriteAt(c.offset, data).ok());
    EXPECT_TRUE(file->fired());
    EXPECT_TRUE(file->dead());
    EXPECT_FALSE(file->WriteAt(8000, "C").ok()) << "a write after the cut";
    EXPECT_FALSE(file->Sync().ok()) << "a flush after the cut";
    EXPECT_EQ(file->writes(), 3);
    EXPECT_EQ(file->syncs(), 1);
    file.reset();

    std::string expected = base;
    expected[0] = 'A';
    expected.replace(size_t(c.offset), c.kept, c.kept, 'B');
    std::string onDisk(expected.size(), '\0');
    ASSERT_TRUE(OpenOsFile(path, {}, &os).ok());
    std::int64_t size = 0;
    ASSERT_TRUE(os->Size(&size).ok());
    EXPECT_EQ(size, 8192);
    ASSERT_TRUE(os->ReadAt(0, onDisk.size(), onDisk.data()).ok());
    EXPECT_EQ(onDisk, expected);
  }
}

TEST(FaultFileTest, FailedWriteLeavesNothingAndLaterWritesGoThrough) {
  testing::TempDir dir;
  const std::string path = dir.File("fail.bin");
  std::unique_ptr<File> os;
  ASSERT_TRUE(OpenOsFile(path, {true, false}, &os).ok());
  ASSERT_TRUE(os->WriteAt(0, std::string(1024, '.')).ok());
  os.reset();

  std::unique_ptr<FaultFile> file;
  ASSERT_TRUE(FaultFile::Open(path, {}, &file).ok());
  file->Arm(Fault::kFail, 1);
  const Status s = file->WriteAt(10, "xxxx");
  EXPECT_EQ(s.code(), Status::Code::kIOError);
  EXPECT_TRUE(file->fired());
  EXPECT_FALSE(file->dead());
  EXPECT_TRUE(file->WriteAt(20, "yy").ok());
  EXPECT_TRUE(file->Sync().ok());
  char bytes[24];
  ASSERT_TRUE(file->ReadAt(0, sizeof bytes, bytes).ok());
  EXPECT_EQ(std::string(bytes, sizeof bytes), std::string(20, '.') + "yy..");
}

}  // namespace
}  // namespace store
