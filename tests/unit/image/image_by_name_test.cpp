// Image members as a script reaches them: results through the dispatcher, optional
// arguments, and the guarded properties reporting an error as an exception.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "server/native/client.h"
#include "unit/support.h"

namespace kelv::native {
namespace {

class ImageByName : public test::ImageObject {};

TEST_F(ImageByName, ResultFlagsAndDefaults) {
  EXPECT_EQ(img.call_i4("IsNullImage"), 1);
  EXPECT_EQ(img.call_i4("RotateCW"), 0);
  EXPECT_EQ(img.status(), hr::S_OK);  // no image is a result, not a failure
  EXPECT_EQ(img.call_i4("CreateFromSize", {Variant::i4(30), Variant::i4(20)}), 1);  // bgcol omitted
  EXPECT_EQ(img.get("Width").i, 30);
  std::string f = (m_dir / "x.jpg").string();
  EXPECT_EQ(img.call_i4("SaveToJpg", {Variant::str(platform::to_wide(f))}), 1);  // three defaults
  EXPECT_EQ(img.call_i4("LoadFromJpg", {Variant::str(platform::to_wide(f))}), 1);
  EXPECT_EQ(img.get("Height").i, 20);
  img.put("DefaultJpgQuality", Variant::i4(500));
  EXPECT_EQ(img.get("DefaultJpgQuality").i, 100);
  img.call("DeleteImage");
  EXPECT_EQ(img.get("Width").i, 0);
}

TEST_F(ImageByName, APropertyErrorIsAnExceptionWithTheMessage) {
  ASSERT_EQ(img.call_i4("CreateFromSize", {Variant::i4(10), Variant::i4(10)}), 1);
  img.put("Width", Variant::i4(-5));
  EXPECT_EQ(img.status(), hr::DISP_E_EXCEPTION);
  EXPECT_EQ(img.exception().source, u"Kelvarin.Image");
  EXPECT_EQ(img.exception().description, u"Invalid bitmap size");
  img.put("Height", Variant::i4(1000000000));
  EXPECT_EQ(img.status(), hr::DISP_E_EXCEPTION);
  EXPECT_FALSE(img.exception().description.empty());
  EXPECT_EQ(img.get("Width").i, 10);  // unchanged
  // Methods with a result report the same failure as 0.
  EXPECT_EQ(img.call_i4("ChangeSize", {Variant::i4(-5), Variant::i4(1)}), 0);
  EXPECT_EQ(img.status(), hr::S_OK);
}

}  // namespace
}  // namespace kelv::native
