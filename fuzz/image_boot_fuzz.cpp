// A whole machine image from any bytes: machine.json and the hive files, booted.
// A boot must succeed or refuse with the file named; an image that booted must
// save, boot again and come back with the very same registry.
//
// Input: the files one after another, separated by "\n\0FILE\0\n", in this order:
// machine.json, SYSTEM.reg, SOFTWARE.reg, DEFAULT.reg, the NTUSER.reg of S-1-5-18,
// and the NTUSER.reg and UsrClass.reg of C:\Users\fuzz (a profile the seeds' users
// have). Missing parts are missing files.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_image_folder.h"
#include "platform/emulated/registry/registry_store.h"
#include "platform/text_encoding.h"
#include "sim/machine_image.h"

namespace {

constexpr std::string_view kSeparator("\n\0FILE\0\n", 8);
const char* const kFiles[] = {
    "machine.json",
    "drives/C/Windows/System32/config/SYSTEM.reg",
    "drives/C/Windows/System32/config/SOFTWARE.reg",
    "drives/C/Windows/System32/config/DEFAULT.reg",
    "drives/C/Windows/System32/config/systemprofile/NTUSER.reg",
    "drives/C/Users/fuzz/NTUSER.reg",
    "drives/C/Users/fuzz/AppData/Local/Microsoft/Windows/UsrClass.reg",
};

void Flatten(const Emulated::RegistryTreeCopy& key, const std::u16string& path, std::set<std::u16string>* out) {
  out->insert(path);
  for (const auto& value : key.values) {
    std::u16string line = path + u'|' + value.name + u'|' + static_cast<char16_t>(value.type) +
                          static_cast<char16_t>(value.type >> 16) + u'|';
    for (uint8_t b : value.data) line += static_cast<char16_t>(b);
    out->insert(line);
  }
  for (const auto& child : key.subkeys) Flatten(child, path + u"\\" + child.name, out);
}

std::set<std::u16string> Registry(Sim::BootedImage& image) {
  std::set<std::u16string> lines;
  for (std::u16string root : {u"MACHINE", u"USER"})
    Flatten(*image.Machine().RegistryState().CopyTree(root), root, &lines);
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetFuzzImage();
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  for (const char* file : kFiles) {
    if (rest.empty()) break;
    const size_t cut = rest.find(kSeparator);
    WriteFuzzFile(file, rest.substr(0, cut));
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + kSeparator.size());
  }
  std::string error;
  auto image = Sim::BootedImage::Boot(FuzzImageFolder(), &error);
  if (!image) {
    if (error.rfind(FuzzImageFolder(), 0) != 0) abort();  // a refusal names its file
    return 0;
  }
  const std::set<std::u16string> before = Registry(*image);
  if (!image->Save(&error)) abort();
  image.reset();
  image = Sim::BootedImage::Boot(FuzzImageFolder(), &error);
  if (!image || Registry(*image) != before) abort();
  return 0;
}
