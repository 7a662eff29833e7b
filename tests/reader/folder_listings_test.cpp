// The folder listings answer "certainly missing" only where the file system itself
// finds nothing: every spelling the file system reads in a way of its own is left
// to it.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/text_encoding.h"
#include "reader/inventory/folder_listings.h"
#include "support/machine_files.h"
#include "support/temporary_machine.h"

namespace {

class FolderListingsTest : public ::testing::Test {
 protected:
  void Put(const std::u16string& path) {
    const std::vector<uint8_t> bytes{'M', 'Z', 0, 0};
    WriteMachineFile(machine_.Service().Files(), path, bytes);
  }
  bool There(const std::u16string& path) {
    Platform::FileAttributeData data;
    return machine_.Service().Files().GetFileAttributesEx(path, &data) == Platform::kErrorSuccess;
  }
  TemporaryMachine machine_;
};

TEST_F(FolderListingsTest, NeverDeniesWhatTheFileSystemFinds) {
  Put(u"C:\\Program Files\\Tool\\Run.EXE");
  Put(u"C:\\Programme\\\u00c4rger\\x.exe");
  Reader::FolderListings listings(machine_.Service().Files());
  for (const std::u16string& path :
       {u"C:\\Program Files\\Tool\\Run.EXE", u"c:\\PROGRAM FILES\\tool\\run.exe", u"C:\\PROGRA~1\\Tool\\Run.EXE",
        u"C:\\Program Files\\Tool\\Run.EXE.", u"C:\\Program Files\\Tool\\Run.EXE ",
        u"C:\\Program Files\\.\\Tool\\Run.EXE", u"C:\\Program Files\\Other\\..\\Tool\\Run.EXE",
        u"C:/Program Files/Tool/Run.EXE", u"C:\\Program Files\\Tool\\Run.EXE::$DATA",
        u"C:\\Programme\\\u00e4rger\\x.exe", u"C:\\Program Files\\Tool", u"C:\\Program Files\\Tool\\"}) {
    if (There(path)) EXPECT_TRUE(listings.MayExist(path)) << Platform::Utf16ToUtf8(path);
  }
  EXPECT_TRUE(There(u"c:\\PROGRAM FILES\\tool\\run.exe"));
}

// What the listings are for: a file under a folder that is not there, or a name
// missing from a folder that is, is known missing.
TEST_F(FolderListingsTest, AFileUnderAFolderThatIsNotThereIsMissing) {
  Put(u"C:\\Program Files\\Tool\\run.exe");
  Reader::FolderListings listings(machine_.Service().Files());
  for (const std::u16string& path : {u"C:\\Program Files\\Gone\\app.exe", u"C:\\Program Files\\Tool\\gone.exe",
                                     u"C:\\Nowhere\\deeper\\app.exe"}) {
    EXPECT_FALSE(There(path));
    EXPECT_FALSE(listings.MayExist(path)) << Platform::Utf16ToUtf8(path);
  }
  EXPECT_TRUE(listings.MayExist(u"C:\\Program Files\\Tool\\run.exe"));
}

}  // namespace
