#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <set>
#include <stdexcept>
#include <string>

#include "common/status.h"
#include "image/image.h"

namespace kelv {
namespace {

TEST(Status, EveryFailureHasItsOwnText) {
  std::set<std::string> seen;
  int codes = 0;
#define KELV_COUNT(code, text)                                           \
  ++codes;                                                               \
  if (Status::code != Status::Ok && Status::code != Status::Raised) {    \
    EXPECT_STRNE(status_text(Status::code), "") << #code;                \
    EXPECT_TRUE(seen.insert(status_text(Status::code)).second) << #code; \
  }
  KELV_STATUS_TABLE(KELV_COUNT)
#undef KELV_COUNT
  EXPECT_EQ(seen.size(), static_cast<size_t>(codes - 2));
  EXPECT_STREQ(Failure(Status::InvalidBitmapSize).what(), "Invalid bitmap size");
}

TEST(Status, GuardedTurnsWhatIsRaisedIntoAResult) {
  Result<int> value = guarded([] { return 7; });
  ASSERT_TRUE(value);
  EXPECT_EQ(value.status(), Status::Ok);
  EXPECT_EQ(value.text(), "");
  EXPECT_EQ(std::move(value).value_or(0), 7);

  Result<int> failed = guarded([]() -> int { throw Failure(Status::NoFont); });
  EXPECT_FALSE(failed);
  EXPECT_EQ(failed.status(), Status::NoFont);
  EXPECT_EQ(failed.text(), "No font is installed for text output");
  EXPECT_EQ(std::move(failed).value_or(-1), -1);

  Result<void> memory = guarded([] { throw std::bad_alloc(); });
  EXPECT_EQ(memory.status(), Status::OutOfMemory);
  EXPECT_EQ(memory.text(), "Out of memory");

  Result<void> standard = guarded([] { throw std::length_error("too long"); });
  EXPECT_EQ(standard.status(), Status::Raised);
  EXPECT_EQ(standard.text(), "too long");

  Result<void> other = guarded([] { throw 42; });
  EXPECT_EQ(other.status(), Status::Raised);
  EXPECT_EQ(other.text(), "");
}

TEST(Status, GuardedIntoLeavesTheTextInAFixedBufferAndNeverOverrunsIt) {
  char message[8];
  std::memset(message, 'x', sizeof message);
  EXPECT_TRUE(guarded_into(message, [] { return true; }));
  EXPECT_EQ(message[0], 'x');  // a success writes nothing
  EXPECT_FALSE(guarded_into(message, [] { return false; }));
  EXPECT_EQ(message[0], 'x');
  EXPECT_FALSE(guarded_into(message, []() -> bool { throw Failure(Status::NoBitmapStorage); }));
  EXPECT_STREQ(message, "Not eno");  // cut to the buffer, and ended
}

// The members that report a failure as a result still do so when the raster layer
// raises: the failure stops at the member, the image is kept.
TEST(Status, MembersReportARaisedFailureAsTheirResult) {
  TImageImpl img;
  ASSERT_EQ(img.CreateFromSize(4, 3, 0xFF), 1);
  EXPECT_EQ(img.ChangeSize(-1, 5), 0);
  EXPECT_EQ(img.ResizeImg(100000, 100000), 0);
  EXPECT_EQ(img.get_Width(), 4);
  EXPECT_EQ(img.get_Height(), 3);
  EXPECT_THROW(img.put_Width(-3), Failure);
}

}  // namespace
}  // namespace kelv
