#include <gtest/gtest.h>

#include <set>

#include "server/members.h"

namespace kelv {
namespace {

const InterfaceTable& image() { return interface_table(InterfaceId::Image); }
const InterfaceTable& binrw() { return interface_table(InterfaceId::BinaryRW); }
const InterfaceTable& info() { return interface_table(InterfaceId::Info); }

TEST(MemberTables, CountsAndContiguousSlots) {
  EXPECT_EQ(image().members.size(), 78u);
  EXPECT_EQ(binrw().members.size(), 52u);
  EXPECT_EQ(info().members.size(), 7u);
  for (const InterfaceTable* t : {&image(), &binrw(), &info()}) {
    int slot = 7;
    for (const Member& m : t->members) EXPECT_EQ(m.slot, slot++) << t->name << "." << m.name;
  }
}

TEST(MemberTables, DispidsHaveTheirGapsAndPairsShareThem) {
  std::set<int32_t> ids;
  for (const Member& m : image().members) ids.insert(m.dispid);
  EXPECT_EQ(ids.count(61), 0u);
  EXPECT_EQ(*ids.rbegin(), 63);
  EXPECT_EQ(ids.size(), 62u);  // 1..63 without 61; each property counted once
  ids.clear();
  for (const Member& m : binrw().members) ids.insert(m.dispid);
  EXPECT_EQ(ids.count(52), 0u);
  EXPECT_EQ(ids.size(), 52u);

  // Every put has a get with the same DISPID and name, and the value type matches.
  for (const Member& m : image().members) {
    if (m.kind != MemberKind::Put) continue;
    const Member* g = image().find(m.dispid, MemberKind::Get);
    ASSERT_NE(g, nullptr) << m.name;
    EXPECT_EQ(g->name, m.name);
    ASSERT_EQ(m.params.size(), 1u);
    EXPECT_EQ(m.params[0].type, g->result) << m.name;
    EXPECT_TRUE(m.params[0].name.empty());
  }
}

TEST(MemberTables, GuardedMembersAreTheImagePropertiesAndSetTransparentColor) {
  std::set<std::string> guarded;
  int accessors = 0;
  for (const Member& m : image().members) {
    if (m.guarded) guarded.insert(m.name), accessors += m.kind != MemberKind::Method;
  }
  EXPECT_EQ(guarded.size(), 17u);
  EXPECT_EQ(accessors, 32);
  EXPECT_TRUE(guarded.count("SetTransparentColor"));
  EXPECT_TRUE(guarded.count("cntThumbBorder"));
  for (const Member& m : binrw().members) EXPECT_FALSE(m.guarded) << m.name;
  for (const Member& m : info().members) EXPECT_FALSE(m.guarded) << m.name;
}

TEST(MemberTables, SpotChecksAgainstTheInterfaceDefinition) {
  const Member* save = image().by_name("SaveToJpg");
  ASSERT_NE(save, nullptr);
  EXPECT_EQ(save->dispid, 5);
  ASSERT_EQ(save->params.size(), 4u);
  EXPECT_EQ(save->required_count(), 1u);
  EXPECT_EQ(save->params[1].name, "Quality");
  EXPECT_EQ(save->params[1].default_int, -1);

  const Member* fread = binrw().by_name("FRead");
  ASSERT_NE(fread, nullptr);
  EXPECT_EQ(fread->params[0].default_int, 16384);
  EXPECT_EQ(fread->result, ValueType::Variant);
  EXPECT_EQ(binrw().by_name("FReadStr")->params[0].default_int, 255);

  const Member* init = binrw().by_name("FD_Init");
  ASSERT_EQ(init->params.size(), 3u);
  EXPECT_EQ(init->required_count(), 0u);
  // The folder and the base name are names; the line end is text.
  EXPECT_EQ(init->params[0].type, ValueType::Name);
  EXPECT_EQ(init->params[1].type, ValueType::Name);
  EXPECT_EQ(init->params[2].type, ValueType::Text);

  const Member* wsb = binrw().by_name("FWriteStrBin");
  EXPECT_EQ(wsb->params[2].type, ValueType::UI1);
  EXPECT_TRUE(wsb->params[2].optional);
  EXPECT_EQ(binrw().by_name("FWriteInt")->params[0].type, ValueType::I8);
  EXPECT_EQ(binrw().by_name("FWriteFloat")->params[0].type, ValueType::R8);
  EXPECT_EQ(image().by_name("StretchDraw")->params[4].type, ValueType::ImageRef);
  EXPECT_EQ(image().by_name("GetRFromColor")->result, ValueType::UI1);
  EXPECT_EQ(image().find(15, MemberKind::Get)->name, "BrushStyle");
  EXPECT_EQ(image().find(15, MemberKind::Get)->slot, 54);
  EXPECT_EQ(binrw().by_name("OldFilesDelete")->dispid, 53);
  EXPECT_EQ(info().by_name("GetSystemText")->result, ValueType::Text);
}

}  // namespace
}  // namespace kelv

#include "server/binding.h"

namespace kelv {
namespace {

TEST(MemberTables, EveryMemberOfEveryClassIsWired) {
  auto check = [](const InterfaceTable& t, const auto& slots) {
    ASSERT_EQ(slots.size(), t.members.size()) << t.name;
    for (size_t i = 0; i < slots.size(); ++i) EXPECT_NE(slots[i], nullptr) << t.name << "." << t.members[i].name;
  };
  check(interface_table(InterfaceId::Image2), image_slots());
  check(interface_table(InterfaceId::BinaryRW2), binaryrw_slots());
  check(interface_table(InterfaceId::Info), info_slots());
}

}  // namespace
}  // namespace kelv

namespace kelv {
namespace {

TEST(MemberTables, EveryMemberHasItsLineInTheReference) {
  for (InterfaceId id : {InterfaceId::Image2, InterfaceId::BinaryRW2, InterfaceId::Info})
    for (const Member& m : interface_table(id).members) EXPECT_FALSE(member_summary(id, m).empty()) << m.name;
}

}  // namespace
}  // namespace kelv
