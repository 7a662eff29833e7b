// Which file the inventory's check names for a command line, on an emulated machine:
// the file that is there, or, when none is, the file as the line spells it.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "reader/file_check.h"
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

}  // namespace
