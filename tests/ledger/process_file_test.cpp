// The Processes row of the process that made a change: its image's facts, version
// strings and download data, or empty fields when its image is not known.

#include <fstream>
#include <iterator>

#include "intake/activity_tracker.h"
#include "intake/process_monitor.h"
#include "intake/system_log_entry.h"
#include "ledger/live_batch.h"
#include "ledger/process_file.h"
#include "ledger/process_image_cache.h"
#include "support/scan_test_machine.h"
#include "support/test_pe_files.h"

using Intake::ProcessEntry;
using Intake::kProcessStarted;

namespace Ledger {

namespace {

constexpr uint64_t kInstallerPid = 5120;
constexpr char kColumns[] =
    "SELECT PROCESS_PATH, PROCESS_FILE_NAME, FILE_SIZE, VERSION, COMPANY_NAME, PRODUCT_NAME, "
    "BROWSER_PROCESS, DIGITAL_SIGNATURE_KEY, DOWNLOAD_DATA FROM Processes WHERE KEY = ";

std::vector<uint8_t> HostBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class ProcessFileTest : public ::testing::Test {
 protected:
  SqlRows Row(int32_t key) { return scan_.Sql(kColumns + std::to_string(key)); }
  // The driver reports that kInstallerPid started from image.
  void Started(const std::u16string& image) {
    scan_.Engine().Processes().OnProcessEntry(
        ProcessEntry(scan_.System(), 4, kInstallerPid, kProcessStarted, image, u"DESKTOP-BRUMEVL\\alice"));
  }

  ScanMachine scan_;
};

TEST_F(ProcessFileTest, DownloadedImageCarriesItsFactsAndTheTrackersTag) {
  REQUIRE_TEST_PE(loader, kTestPeLoader);
  const std::u16string image = u"C:\\Users\\alice\\Downloads\\Loader.EXE";
  scan_.WriteFile(image, HostBytes(loader));
  ASSERT_EQ(scan_.Engine().Tracker().WriteUrlTag(image, u"http://downloads.example/loader.exe",
                                                 u"DESKTOP-BRUMEVL\\alice"),
            1);
  Started(image);
  const int32_t key = AddProcessFile(scan_.Engine(), kInstallerPid);
  ASSERT_GT(key, 0);
  const SqlRows rows = Row(key);
  ASSERT_EQ(rows.size(), 1u);
  const std::vector<std::string> facts(rows[0].begin(), rows[0].end() - 1);
  EXPECT_EQ(facts, (std::vector<std::string>{"c:\\users\\alice\\downloads\\loader.exe", "loader.exe",
                                             "360 KB", "0.10.6 +kernels ", "The Debian Project",
                                             "win32-loader", "N", "0"}));
  // Address and owner as the tracker wrote them, then its local time "YYYY-MM-DD hh:mm:ss".
  const std::string prefix = "http://downloads.example/loader.exe\nDESKTOP-BRUMEVL\\alice\n";
  const std::string& download = rows[0].back();
  ASSERT_EQ(download.substr(0, prefix.size()), prefix);
  const std::string time = download.substr(prefix.size());
  EXPECT_TRUE(time.size() == 19 && time[4] == '-' && time[10] == ' ' && time[16] == ':') << download;
  // Every change gets its own row, even from the same process.
  EXPECT_GT(AddProcessFile(scan_.Engine(), kInstallerPid), key);
}

// A tag the tracker did not finish (no address) is no download data; a tag of one
// line still gives its three parts, the missing ones empty.
TEST_F(ProcessFileTest, DownloadDataNeedsAnAddress) {
  const std::u16string image = u"C:\\Tools\\tool.exe";
  scan_.WriteFile(image);
  Started(image);
  for (const auto& [tag, stored] : {std::pair{std::u16string(u"\nDESK\\ann\n2024-01-01 10:00:00"), std::string()},
                                    std::pair{std::u16string(u"http://a.example/tool.exe"),
                                              std::string("http://a.example/tool.exe\n\n")}}) {
    std::vector<uint8_t> bytes;
    for (char16_t c : tag) bytes.insert(bytes.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
    scan_.WriteFile(image + u":Brumevale.URL", bytes);
    const int32_t key = AddProcessFile(scan_.Engine(), kInstallerPid);
    EXPECT_EQ(scan_.Sql("SELECT DOWNLOAD_DATA FROM Processes WHERE KEY = " + std::to_string(key)),
              (SqlRows{{stored}}));
  }
}

TEST_F(ProcessFileTest, UnknownProcessGetsARowWithEmptyFields) {
  const int32_t key = AddProcessFile(scan_.Engine(), 777);
  ASSERT_GT(key, 0);
  EXPECT_EQ(Row(key), (SqlRows{{"", "", "0 bytes", "", "", "", "N", "0", ""}}));
}

TEST_F(ProcessFileTest, ImageThatIsGoneGetsEmptyFileFields) {
  Started(u"C:\\Temp\\gone.exe");
  const int32_t key = AddProcessFile(scan_.Engine(), kInstallerPid);
  ASSERT_GT(key, 0);
  const SqlRows rows = scan_.Sql("SELECT PROCESS_PATH, FILE_SIZE, VERSION, DOWNLOAD_DATA FROM Processes WHERE KEY = " +
                                 std::to_string(key));
  EXPECT_EQ(rows, (SqlRows{{"", "0 bytes", "", ""}}));
}

// What was read of an image serves the next changes while the file stands as it
// was read; within one dispatch pass it is not looked at again; an entry serves
// for at most a minute of the machine's time, since trust can change meanwhile.
TEST_F(ProcessFileTest, AnImageIsReadAgainWhenItChangedOrItsMinuteHasPassed) {
  const std::u16string image = u"C:\\Tools\\tool.exe";
  scan_.WriteFile(image, "first");
  Started(image);
  const auto size = [&] { return ReadProcessFile(scan_.Engine(), kInstallerPid)->record.FileSize(); };
  EXPECT_EQ(size(), 5u);
  ProcessImageCache& images = scan_.Engine().ProcessImages();
  EXPECT_EQ(images.Size(), 1u);
  scan_.WriteFile(image, "second image");
  EXPECT_EQ(size(), 12u);
  {
    LiveBatch pass(scan_.Engine());
    EXPECT_EQ(size(), 12u);
    scan_.WriteFile(image, "a third, longer");
    EXPECT_EQ(size(), 12u);
  }
  EXPECT_EQ(size(), 15u);

  const std::u16string path = ReadProcessFile(scan_.Engine(), kInstallerPid)->record.fullPath;
  const auto stamp = ProcessImageCache::Stamp(scan_.System(), path);
  ASSERT_TRUE(stamp.has_value());
  auto marked = std::make_shared<ProcessFile>();
  marked->record.fileName = u"marked";
  bool lookedAt = false;
  const auto found = [&] {
    const auto file = images.Find(scan_.System(), path, false, &lookedAt);
    return file ? file->record.fileName : u"(none)";
  };
  images.Remember(scan_.System(), path, *stamp, marked);
  scan_.Machine().Time().Advance(std::chrono::seconds(59));
  EXPECT_EQ(found(), u"marked");
  EXPECT_TRUE(lookedAt);
  scan_.Machine().Time().Advance(std::chrono::seconds(2));
  EXPECT_EQ(found(), u"(none)");
  // A clock set back does not make an old entry young.
  images.Remember(scan_.System(), path, *stamp, marked);
  scan_.Machine().Time().Advance(std::chrono::seconds(-3600));
  EXPECT_EQ(found(), u"(none)");
}

}  // namespace

}  // namespace Ledger
