// Parsing kernel key paths and rendering them the way users read them.

#include <gtest/gtest.h>

#include "intake/registry_key_path.h"

namespace Intake {

namespace {

using Components = std::vector<std::u16string>;
const std::u16string kUser = u"S-1-5-21-11-22-33-1001";

// "root|sid|rendering" of a parsed path, or "fails" with what was kept.
std::u16string Parse(std::u16string_view native, uint32_t wildcard = 0) {
  RegistryKeyPath path;
  const bool parsed = path.ParseNative(native, wildcard);
  return (parsed ? u"" : u"fails ") + std::u16string(1, u'0' + path.Root()) + u"|" + path.Sid() +
         u"|" + path.ToText(true);
}

TEST(RegistryKeyPathTest, RootKinds) {
  EXPECT_EQ(Parse(u"\\registry\\machine\\SOFTWARE\\Run"), u"1||HKEY_LOCAL_MACHINE\\SOFTWARE\\Run");
  EXPECT_EQ(Parse(u"\\REGISTRY\\USER\\" + kUser + u"\\Software"),
            u"2|" + kUser + u"|HKEY_USERS\\" + kUser + u"\\Software");
  EXPECT_EQ(Parse(u"\\REGISTRY\\USER\\" + kUser + u"_Classes\\CLSID"),
            u"3|" + kUser + u"|HKEY_USERS\\" + kUser + u"_Classes\\CLSID");
  EXPECT_EQ(Parse(u"\\REGISTRY\\USER\\.DEFAULT\\Software"), u"2|.DEFAULT|HKEY_USERS\\.DEFAULT\\Software");
  EXPECT_EQ(Parse(u"\\REGISTRY\\USER\\S-1-5-32-544\\Software\\X"), u"4|S-1-5-32-544|\\Software\\X");
  EXPECT_EQ(Parse(u"\\REGISTRY\\USER\\\\Software", 1), u"2||HKEY_USERS\\\\Software");
  EXPECT_EQ(Parse(u"\\REGISTRY\\USER\\\\Software", 0), u"4||\\Software");
}

TEST(RegistryKeyPathTest, PathsEndingAtTheRootOrWithASeparatorFail) {
  for (std::u16string_view path : {u"\\REGISTRY\\MACHINE", u"\\REGISTRY\\MACHINE\\",
                                   u"\\REGISTRY\\USER", u"\\REGISTRY\\A\\B",
                                   u"HKEY_LOCAL_MACHINE\\SOFTWARE"}) {
    EXPECT_EQ(Parse(path).substr(0, 5), u"fails");
  }
  EXPECT_EQ(Parse(u"\\REGISTRY\\USER\\" + kUser), u"fails 0||\\");
  // What was parsed before the failure stays.
  EXPECT_EQ(Parse(u"\\REGISTRY\\MACHINE\\SOFTWARE\\Run\\"),
            u"fails 1||HKEY_LOCAL_MACHINE\\SOFTWARE\\Run");
}

TEST(RegistryKeyPathTest, EmptyPiecesAreComponentsExceptATrailingOneInAssign) {
  RegistryKeyPath path;
  ASSERT_TRUE(path.ParseNative(u"\\REGISTRY\\MACHINE\\A\\\\B", 0));
  EXPECT_EQ(path.Components(), (Components{u"A", u"", u"B"}));
  EXPECT_TRUE(path.Assign(kRootUser, kUser, u"Software\\\\Run\\", 0));
  EXPECT_EQ(path.Components(), (Components{u"Software", u"", u"Run"}));
  EXPECT_TRUE(path.Assign(kRootMachine, u"", 1));
  EXPECT_EQ(path.Sid(), u"");
  EXPECT_EQ(path.ToText(true), u"HKEY_LOCAL_MACHINE\\");
}

TEST(RegistryKeyPathTest, SliceClampsItsEnd) {
  RegistryKeyPath path;
  path.Assign(kRootMachine, u"A\\B\\C\\D", 0);
  EXPECT_EQ(path.LastComponent(), 3);
  EXPECT_EQ(path.Slice(1, 2).Components(), (Components{u"B", u"C"}));
  EXPECT_EQ(path.Slice(1, -1).Components(), (Components{u"B", u"C", u"D"}));
  EXPECT_EQ(path.Slice(2, 99).Components(), (Components{u"C", u"D"}));
  EXPECT_EQ(path.Slice(0, 0).Root(), kRootNone);
  for (auto [from, to] : {std::pair{-1, 2}, {4, -1}, {2, 1}}) {
    EXPECT_TRUE(path.Slice(from, to).Components().empty()) << from << "," << to;
  }
}

}  // namespace

}  // namespace Intake
