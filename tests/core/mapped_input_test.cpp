// The input view: a mapped file, the read fallback where a stream cannot be
// mapped, and an empty file.
#include <gtest/gtest.h>

#include <cstdio>

#include "core/mapped_input.h"
#include "core/output.h"
#include "test_util.h"

namespace psxdig {
namespace {

using testing::Bytes;

Bytes View(const MappedInput& in) { return Bytes(in.bytes().begin(), in.bytes().end()); }

TEST(MappedInput, MapsAFileAndReadsAStreamThatCannotBeMapped) {
  std::uint32_t state = 9;
  const Bytes data = testing::RandomBytes(state, 70000);
  testing::TempDir dir;
  testing::WriteBytes(dir.File("in.bin"), data);

  FilePtr file(std::fopen(dir.File("in.bin").c_str(), "rb"));
  MappedInput mapped;
  ASSERT_TRUE(mapped.Load(file.get(), data.size()));
  EXPECT_TRUE(mapped.mapped());
  EXPECT_EQ(View(mapped), data);
  file.reset();  // the mapping outlives the stream
  EXPECT_EQ(View(mapped), data);

#if defined(__unix__)
  // A memory stream has no file behind it: the bytes are read instead.
  Bytes copy = data;
  FilePtr memory(fmemopen(copy.data(), copy.size(), "rb"));
  MappedInput read;
  ASSERT_TRUE(read.Load(memory.get(), copy.size()));
  EXPECT_FALSE(read.mapped());
  EXPECT_EQ(View(read), data);
  // A stream shorter than its announced size fails with a reason.
  FilePtr shorter(fmemopen(copy.data(), 100, "rb"));
  MappedInput cut;
  EXPECT_FALSE(cut.Load(shorter.get(), copy.size()));
  EXPECT_NE(platform::LastErrorCode(), 0u);
  EXPECT_TRUE(cut.bytes().empty());

  MappedInput empty;
  EXPECT_TRUE(empty.Load(memory.get(), 0));
  EXPECT_TRUE(empty.bytes().empty());
#endif
}

}  // namespace
}  // namespace psxdig
