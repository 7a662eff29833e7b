#include "reader/record/records.h"

#include "families/common/load_point_catalogue.h"
#include "platform/text_encoding.h"

using Families::LoadPointTypeDisplayName;

namespace Reader {

std::string ChangeEventName(int32_t eventType) {
  switch (eventType) {
    case 1: return "changed";
    case 2: return "removed";
    case 6: return "rescan found changes";
    case 7: return "setting changed";
    case 8: return "extension written";
    case 9: return "settings checked";
    case 13: return "added";
    case 14: return "extension deleted";
    default: return "event " + std::to_string(eventType);
  }
}

std::string LoadPointTypeName(int32_t type) {
  const std::u16string name = LoadPointTypeDisplayName(static_cast<uint32_t>(type));
  return name.empty() ? "type " + std::to_string(type) : Platform::Utf16ToUtf8(name);
}

}  // namespace Reader
