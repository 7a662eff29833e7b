#include "sim/reg_command.h"

#include <charconv>
#include <map>
#include <optional>

#include "platform/byte_order.h"
#include "platform/text_encoding.h"
#include "platform/win32_types.h"
#include "util/text_routines.h"

namespace Sim {
namespace {

const std::map<std::string, uint32_t>& TypeNames() {
  static const std::map<std::string, uint32_t> names = {
      {"REG_SZ", Platform::kRegSz},           {"REG_EXPAND_SZ", Platform::kRegExpandSz},
      {"REG_MULTI_SZ", Platform::kRegMultiSz}, {"REG_DWORD", Platform::kRegDword},
      {"REG_QWORD", Platform::kRegQword},     {"REG_BINARY", Platform::kRegBinary},
      {"REG_NONE", Platform::kRegNone}};
  return names;
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

void AppendUtf16(std::u16string_view text, std::vector<uint8_t>* data) {
  Platform::AppendUtf16Le(*data, text);
  Platform::AppendLe(*data, 0, 2);
}

bool ParseNumber(const std::string& text, uint64_t limit, uint64_t* value) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* begin = text.data() + (hex ? 2 : 0);
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(begin, end, *value, hex ? 16 : 10);
  return ec == std::errc() && ptr == end && begin != end && *value <= limit;
}

bool ParseHex(const std::string& text, std::vector<uint8_t>* data) {
  if (text.size() % 2 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    uint8_t byte = 0;
    auto [ptr, ec] = std::from_chars(text.data() + i, text.data() + i + 2, byte, 16);
    if (ec != std::errc() || ptr != text.data() + i + 2) return false;
    data->push_back(byte);
  }
  return true;
}

// Multi-string items are separated by the /s separator, "\0" as reg.exe has it.
void EncodeMultiString(const std::string& text, const std::string& separator,
                       std::vector<uint8_t>* data) {
  size_t start = 0;
  while (start <= text.size() && !text.empty()) {
    const size_t at = text.find(separator, start);
    const size_t stop = at == std::string::npos ? text.size() : at;
    AppendUtf16(Platform::Utf8ToUtf16(text.substr(start, stop - start)), data);
    if (at == std::string::npos) break;
    start = at + separator.size();
  }
  data->push_back(0);
  data->push_back(0);
}

bool EncodeData(uint32_t type, const std::string& text, const std::string& separator,
                std::vector<uint8_t>* data, std::string* error) {
  uint64_t number = 0;
  switch (type) {
    case Platform::kRegSz:
    case Platform::kRegExpandSz:
      AppendUtf16(Platform::Utf8ToUtf16(text), data);
      return true;
    case Platform::kRegMultiSz:
      EncodeMultiString(text, separator, data);
      return true;
    case Platform::kRegDword:
    case Platform::kRegQword: {
      const bool dword = type == Platform::kRegDword;
      if (!ParseNumber(text.empty() ? "0" : text, dword ? 0xFFFFFFFFull : ~0ull, &number)) {
        *error = "\"" + text + "\" is not a " + (dword ? "32" : "64") + "-bit number";
        return false;
      }
      for (int i = 0; i < (dword ? 4 : 8); ++i) data->push_back(static_cast<uint8_t>(number >> (8 * i)));
      return true;
    }
    default:
      if (ParseHex(text, data)) return true;
      *error = "binary data must be pairs of hex digits, not \"" + text + "\"";
      return false;
  }
}

struct RegSwitches {
  std::optional<std::string> name;
  bool defaultValue = false;
  bool allValues = false;
  std::optional<std::string> type;
  std::optional<std::string> data;
  std::string separator = "\\0";
};

bool ReadSwitches(const std::vector<std::string>& words, bool add, RegSwitches* out,
                  std::string* error) {
  for (size_t i = 2; i < words.size(); ++i) {
    const std::string option = Upper(words[i]);
    const bool takesArgument = option == "/V" || (add && (option == "/T" || option == "/D" || option == "/S"));
    if (takesArgument && i + 1 >= words.size()) {
      *error = words[i] + " needs an argument";
      return false;
    }
    if (option == "/V") out->name = words[++i];
    else if (option == "/VE") out->defaultValue = true;
    else if (option == "/VA" && !add) out->allValues = true;
    else if (option == "/T" && add) out->type = Upper(words[++i]);
    else if (option == "/D" && add) out->data = words[++i];
    else if (option == "/S" && add) out->separator = words[++i];
    else if (option == "/F") continue;
    else {
      *error = "unknown switch \"" + words[i] + "\"";
      return false;
    }
  }
  if ((out->name ? 1 : 0) + (out->defaultValue ? 1 : 0) + (out->allValues ? 1 : 0) > 1) {
    *error = "give only one of /v, /ve and /va";
    return false;
  }
  return true;
}

bool FillAdd(const RegSwitches& s, ScenarioAction* action, std::string* error) {
  action->kind = ActionKind::kRegAdd;
  // reg.exe sets the default value when data is given without a value name.
  if (s.name) action->target = ValueTarget::kNamed;
  else if (s.defaultValue || s.type || s.data) action->target = ValueTarget::kDefault;
  if (action->target == ValueTarget::kKey) return true;
  const std::string typeName = s.type.value_or("REG_SZ");
  const auto type = TypeNames().find(typeName);
  if (type == TypeNames().end()) {
    *error = "unknown value type \"" + typeName + "\"";
    return false;
  }
  action->valueType = type->second;
  return EncodeData(type->second, s.data.value_or(""), s.separator, &action->data, error);
}

}  // namespace

bool SplitRegistryRoot(std::u16string_view keyPath, uint32_t* root, std::u16string* subKey) {
  static const std::pair<std::u16string_view, uint32_t> kRoots[] = {
      {u"HKLM", Platform::kHkeyLocalMachine}, {u"HKEY_LOCAL_MACHINE", Platform::kHkeyLocalMachine},
      {u"HKCU", Platform::kHkeyCurrentUser},  {u"HKEY_CURRENT_USER", Platform::kHkeyCurrentUser},
      {u"HKCR", Platform::kHkeyClassesRoot},  {u"HKEY_CLASSES_ROOT", Platform::kHkeyClassesRoot},
      {u"HKU", Platform::kHkeyUsers},         {u"HKEY_USERS", Platform::kHkeyUsers}};
  const size_t slash = keyPath.find(u'\\');
  const std::u16string_view first = keyPath.substr(0, slash);
  for (const auto& [name, handle] : kRoots) {
    if (!VyrUtilities::EqualsIgnoreCase(first, name)) continue;
    *root = handle;
    *subKey = slash == std::u16string_view::npos ? u"" : std::u16string(keyPath.substr(slash + 1));
    while (!subKey->empty() && subKey->back() == u'\\') subKey->pop_back();
    return true;
  }
  return false;
}

bool ParseRegCommand(const std::vector<std::string>& words, ScenarioAction* action,
                     std::string* error) {
  const std::string verb = words.empty() ? "" : Upper(words[0]);
  if (verb != "ADD" && verb != "DELETE") {
    *error = "reg needs add or delete";
    return false;
  }
  uint32_t root = 0;
  std::u16string subKey;
  if (words.size() < 2 || !SplitRegistryRoot(Platform::Utf8ToUtf16(words[1]), &root, &subKey)) {
    *error = "reg " + words[0] + " needs a key starting with HKLM, HKCU, HKCR or HKU";
    return false;
  }
  action->keyPath = Platform::Utf8ToUtf16(words[1]);
  RegSwitches s;
  if (!ReadSwitches(words, verb == "ADD", &s, error)) return false;
  if (s.name) action->valueName = Platform::Utf8ToUtf16(*s.name);
  if (verb == "ADD") return FillAdd(s, action, error);
  action->kind = ActionKind::kRegDelete;
  action->target = s.name ? ValueTarget::kNamed
                   : s.defaultValue ? ValueTarget::kDefault
                   : s.allValues ? ValueTarget::kAllValues
                                 : ValueTarget::kKey;
  return true;
}

}  // namespace Sim
