// Which file the inventory's check names for a command line, on an emulated machine:
// the file that is there, or, when none is, the file as the line spells it.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "reader/inventory/file_check.h"
#include "support/machine_files.h"
#include "support/temporary_machine.h"

namespace {

class FileCheckPath : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& commandLine) {
    Reader::FileChecker checker(machine_.Service());
    return checker.Check(commandLine).path;
  }
  void Put(const std::u16string& path) {
    const std::vector<uint8_t> bytes{'M', 'Z', 0, 0};
    WriteMachineFile(machine_.Service().Files(), path, bytes);
  }
  TemporaryMachine machine_;
};

TEST_F(FileCheckPath, AMissingUnquotedPathWithSpacesIsNamedUpToItsExtension) {
  EXPECT_EQ(PathOf("C:\\Program Files\\PixelMoor\\pmnp.dll"), "C:\\Program Files\\PixelMoor\\pmnp.dll");
  EXPECT_EQ(PathOf("C:\\Program Files\\Tool\\run.exe -quiet"), "C:\\Program Files\\Tool\\run.exe");
  // Quoted, the program ends at the quote, whatever follows it.
  EXPECT_EQ(PathOf("\"C:\\Program Files\\Tool\\run.exe\" C:\\other.dll"), "C:\\Program Files\\Tool\\run.exe");
  // rundll32's library is the file, not rundll32 itself.
  EXPECT_EQ(PathOf("rundll32.exe C:\\Program Files\\Lib\\x.dll,Entry"), "C:\\Program Files\\Lib\\x.dll");
}

TEST_F(FileCheckPath, AFileThatIsThereIsFoundWhereverTheLineEnds) {
  Put(u"C:\\Program Files\\Tool\\run.exe");
  Reader::FileChecker checker(machine_.Service());
  for (const char* line : {"C:\\Program Files\\Tool\\run.exe -quiet", "\"C:\\Program Files\\Tool\\run.exe\" /x",
                           "rundll32.exe C:\\Program Files\\Tool\\run.exe,Main"}) {
    const Reader::FileCheck check = checker.Check(line);
    EXPECT_TRUE(check.present) << line;
    EXPECT_EQ(check.path, "C:\\Program Files\\Tool\\run.exe") << line;
  }
  EXPECT_FALSE(checker.Check("C:\\Program Files\\Tool\\gone.exe").present);
}

TEST_F(FileCheckPath, BareNamesAreLookedForWhereTheLoaderLooks) {
  Put(u"C:\\Windows\\system32\\credssp.dll");
  Put(u"C:\\Windows\\system32\\msv1_0.dll");
  Put(u"C:\\Windows\\system32\\autochk.exe");
  Put(u"C:\\Windows\\system32\\drivers\\disk.sys");
  EXPECT_EQ(PathOf("credssp.dll"), "C:\\Windows\\system32\\credssp.dll");
  EXPECT_EQ(PathOf("msv1_0"), "C:\\Windows\\system32\\msv1_0.dll");  // a package names its library bare
  EXPECT_EQ(PathOf("autocheck autochk *"), "C:\\Windows\\system32\\autochk.exe");
  EXPECT_EQ(PathOf("disk.sys"), "C:\\Windows\\system32\\drivers\\disk.sys");
  // Missing, a bare name is named where the loader looked first, not as a bare word.
  EXPECT_EQ(PathOf("localspl.dll"), "C:\\Windows\\system32\\localspl.dll");
  EXPECT_EQ(PathOf("System32\\drivers\\gone.sys"), "C:\\Windows\\System32\\drivers\\gone.sys");
}

TEST_F(FileCheckPath, AStartupShortcutIsCheckedThroughItsTarget) {
  // A shortcut with a LinkInfo whose local base path holds spaces.
  const std::string target = "C:\\Program Files\\Velanto\\Sync\\velatray.exe";
  std::vector<uint8_t> link(0x4C, 0);
  link[0] = 0x4C;
  link[0x14] = 0x2;
  const uint32_t size = 0x1C + static_cast<uint32_t>(target.size()) + 2;
  for (const uint32_t word : {size, 0x1Cu, 1u, 0u, 0x1Cu, 0u, size - 1}) {
    for (int i = 0; i < 4; ++i) link.push_back(static_cast<uint8_t>(word >> (8 * i)));
  }
  link.insert(link.end(), target.begin(), target.end());
  link.insert(link.end(), {0, 0});
  const std::u16string folder = u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp";
  WriteMachineFile(machine_.Service().Files(), folder + u"\\VelaSync Tray.lnk", link);
  Put(u"C:\\Program Files\\Velanto\\Sync\\velatray.exe");
  Reader::FileChecker checker(machine_.Service());
  const Reader::FileCheck check =
      checker.Check("\"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\VelaSync Tray.lnk\"");
  EXPECT_EQ(check.shortcut, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\VelaSync Tray.lnk");
  EXPECT_EQ(check.path, target);
  EXPECT_TRUE(check.present);
}

}  // namespace
