// Any bytes as an image's machine.json: reading it and laying out its hives must
// accept or refuse with the file named, never crash, and never place a hive file
// outside the image folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_image_folder.h"
#include "sim/hive_layout.h"
#include "sim/machine_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetFuzzImage();
  WriteFuzzFile("machine.json", std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string& folder = FuzzImageFolder();
  Sim::ImageManifest manifest;
  std::string error;
  if (!Sim::ReadImageManifest(folder, &manifest, &error)) {
    if (error.find("machine.json") == std::string::npos && error.find("drives") == std::string::npos) abort();
    return 0;
  }
  const auto layout = Sim::HiveLayout::Make(folder, manifest, &error);
  if (!layout) return 0;
  for (const Sim::HivePlace& place : layout->Places()) {
    const std::string inside = folder + "/drives/";
    if (place.hostFile.rfind(inside, 0) != 0 || place.hostFile.find("/../") != std::string::npos) abort();
  }
  return 0;
}
