// The "trust" object of machine.json: switches that let an image lose its trust
// library or its catalog context, the vendor roots and the registered catalogs.

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

TEST(ImageManifestTrustTest, VendorRootsAndRegisteredCatalogsAreReadAndCheckedAsWritten) {
  Sim::ImageManifest manifest;
  std::string error;
  ASSERT_TRUE(ReadWith("{}", &manifest, &error)) << error;
  EXPECT_TRUE(manifest.config.trust.vendorRoots.empty());
  EXPECT_TRUE(manifest.config.trust.registeredCatalogs.empty());  // none registered
  ASSERT_TRUE(ReadWith(R"({"trust": {"vendorRoots": ["cd d4 ee ae 60 00 ac 7f 40 c3 80 2c 17 1e 30 14 80 30 c0 72",
                                                     "3B1EFD3A66EA28B16697394703A72CA340A05BD5"],
                                      "registeredCatalogs": ["oem1.cat", "Package_1~31bf.cat"]}})",
                       &manifest, &error))
      << error;
  EXPECT_EQ(manifest.config.trust.vendorRoots,
            (std::vector<std::u16string>{u"CDD4EEAE6000AC7F40C3802C171E30148030C072",
                                         u"3B1EFD3A66EA28B16697394703A72CA340A05BD5"}));
  EXPECT_EQ(manifest.config.trust.registeredCatalogs, (std::vector<std::u16string>{u"oem1.cat", u"Package_1~31bf.cat"}));
  for (const char* bad : {R"({"trust": {"vendorRoots": ["CDD4EEAE"]}})", R"({"trust": {"vendorRoots": [12]}})",
                          R"({"trust": {"registeredCatalogs": ["..\x.cat"]}})"}) {
    EXPECT_FALSE(ReadWith(bad, &manifest, &error)) << bad;
    EXPECT_NE(error.find("machine.json"), std::string::npos) << error;
  }
}

}  // namespace
