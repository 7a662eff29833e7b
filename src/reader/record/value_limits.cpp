#include "reader/record/value_limits.h"

#include "util/documented_buffers.h"

namespace Reader {

size_t Utf16Length(const std::string& text) { return VyrUtilities::Utf16UnitsOfUtf8(text); }

// A text holds no more UTF-16 units than UTF-8 bytes: most are settled by their size.
bool DataBeyondBuffers(const std::string& data) {
  return data.size() > VyrUtilities::kDocumentedTextUnits &&
         VyrUtilities::IsOverDocumentedBuffersUtf8(data);
}

bool NameBeyondBuffers(const std::string& name) {
  return name.size() > VyrUtilities::kDocumentedNameUnits &&
         VyrUtilities::IsNameOverDocumentedBuffersUtf8(name);
}

std::string BeyondBuffersNote(const std::string& name, const std::string& data) {
  std::string note;
  if (NameBeyondBuffers(name)) note = "name of " + std::to_string(Utf16Length(name)) + " characters";
  if (DataBeyondBuffers(data)) {
    note += (note.empty() ? "" : ", ") + std::string("value of ") + std::to_string(Utf16Length(data)) + " characters";
  }
  return note.empty() ? note : note + ": longer than the service's 2048-byte buffers";
}

}  // namespace Reader
