// The extended form of a disposition parameter, as clients send it beside the plain one.
#include "formdata/ext_value.h"

#include <gtest/gtest.h>

namespace kelv {
namespace {

TEST(ExtendedParameter, CharsetsEscapesAndPlaces) {
  const struct {
    const char* line;
    const char* bytes;  // nullptr: no usable parameter
    uint32_t page;
  } rows[] = {
      {"Content-Disposition: form-data; name=\"f\"; filename*=UTF-8''%E5%86%99.jpg", "\xE5\x86\x99.jpg", 65001},
      {"Content-Disposition: form-data; FILENAME*  =  utf-8'en'a%20b", "a b", 65001},
      {"Content-Disposition: form-data; filename*=\"UTF-8''q.jpg\"", "q.jpg", 65001},
      {"Content-Disposition: form-data; filename*=iso-8859-1''%E9", "\xE9", 28591},
      {"Content-Disposition: form-data; filename*=windows-1251''%D4", "\xD4", 1251},
      {"Content-Disposition: form-data; name=\"a;filename*=UTF-8''x\"", nullptr, 0},  // inside a quoted value
      {"Content-Disposition: form-data; xfilename*=UTF-8''x", nullptr, 0},
      {"Content-Disposition: form-data; filename*=UTF-8''%E5%8", nullptr, 0},  // a broken escape
      {"Content-Disposition: form-data; filename*=koi8-r''x", nullptr, 0},
      {"Content-Disposition: form-data; filename=\"plain.jpg\"", nullptr, 0},
  };
  for (const auto& r : rows) {
    auto v = extended_parameter(r.line, "filename");
    ASSERT_EQ(v.has_value(), r.bytes != nullptr) << r.line;
    if (!v) continue;
    EXPECT_EQ(v->bytes, r.bytes) << r.line;
    EXPECT_EQ(v->code_page, r.page) << r.line;
  }
}

}  // namespace
}  // namespace kelv
