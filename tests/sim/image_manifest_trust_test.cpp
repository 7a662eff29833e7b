// The "trust" switches of machine.json, which let an image lose its trust library or
// its catalog context.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/machine_image.h"
#include "support/temporary_folder.h"

namespace {

bool ReadWith(const std::string& manifestText, Sim::ImageManifest* manifest, std::string* error) {
  TemporaryFolder folder;
  std::filesystem::create_directories(folder.Path() / "drives" / "C");
  std::ofstream(folder.Path() / "machine.json") << manifestText;
  return Sim::ReadImageManifest(folder.String(), manifest, error);
}

TEST(ImageManifestTrustTest, SwitchesDefaultOnAndTurnOffOneByOne) {
  Sim::ImageManifest manifest;
  std::string error;
  ASSERT_TRUE(ReadWith("{}", &manifest, &error)) << error;
  EXPECT_TRUE(manifest.config.trust.libraryAvailable);
  EXPECT_TRUE(manifest.config.trust.catalogContextAvailable);
  ASSERT_TRUE(ReadWith(R"({"trust": {"catalogContext": false}})", &manifest, &error)) << error;
  EXPECT_TRUE(manifest.config.trust.libraryAvailable);
  EXPECT_FALSE(manifest.config.trust.catalogContextAvailable);
  ASSERT_TRUE(ReadWith(R"({"trust": {"library": false}})", &manifest, &error)) << error;
  EXPECT_FALSE(manifest.config.trust.libraryAvailable);
}

TEST(ImageManifestTrustTest, SwitchThatIsNotABooleanIsRefusedWithTheFileNamed) {
  Sim::ImageManifest manifest;
  std::string error;
  EXPECT_FALSE(ReadWith(R"({"trust": {"library": "no"}})", &manifest, &error));
  EXPECT_NE(error.find("machine.json"), std::string::npos) << error;
}

}  // namespace
