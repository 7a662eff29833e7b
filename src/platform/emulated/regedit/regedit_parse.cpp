#include "platform/emulated/regedit/regedit_parse.h"

#include <string>

#include "platform/byte_order.h"
#include "platform/emulated/regedit/regedit_roots.h"
#include "platform/emulated/regedit/regedit_values.h"
#include "platform/text_encoding.h"

namespace Emulated {

namespace {

constexpr std::u16string_view kHeader = u"Windows Registry Editor Version 5.00";

std::u16string_view TrimLeft(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  return text;
}

std::u16string_view TrimRight(std::u16string_view text) {
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t' || text.back() == u'\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// Physical lines of the text with their 1-based numbers.
class LineReader {
 public:
  explicit LineReader(std::u16string_view text) : text_(text) {}
  bool Next(std::u16string_view* line) {
    if (pos_ > text_.size()) return false;
    size_t end = text_.find(u'\n', pos_);
    if (end == std::u16string_view::npos) end = text_.size();
    *line = TrimRight(text_.substr(pos_, end - pos_));
    pos_ = end + 1;
    ++number_;
    return true;
  }
  size_t Number() const { return number_; }
  // A value name may hold line breaks (the API takes any character but the null,
  // and the export writes the name as it is). From the start of line on, a view of
  // the text in which a quoted name can run on over physical lines.
  std::u16string_view From(std::u16string_view line) const {
    return text_.substr(static_cast<size_t>(line.data() - text_.data()));
  }
  // Goes on after the name read through From: the rest of the physical line that
  // holds offset end (trimmed), the reader placed after it.
  std::u16string_view ResumeAfter(std::u16string_view from, size_t used) {
    const size_t at = static_cast<size_t>(from.data() - text_.data()) + used;
    for (size_t i = pos_ == 0 ? 0 : pos_ - 1; i < at && i < text_.size(); ++i) number_ += text_[i] == u'\n';
    size_t end = text_.find(u'\n', at);
    if (end == std::u16string_view::npos) end = text_.size();
    pos_ = end + 1;
    return TrimRight(text_.substr(at, end - at));
  }

 private:
  std::u16string_view text_;
  size_t pos_ = 0;
  size_t number_ = 0;
};

bool IsBareRoot(std::u16string_view storePath) {
  return storePath == u"MACHINE" || storePath == u"USER";
}

class Parser {
 public:
  Parser(std::u16string_view text, std::u16string_view currentUserSid,
         const RegeditKeyCheck& check)
      : lines_(text), currentUserSid_(currentUserSid), check_(check) {}
  bool Run(std::vector<RegistryEdit>* edits, std::u16string* problem, size_t* line);

 private:
  bool Line(std::u16string_view line, std::u16string* problem);
  bool KeyLine(std::u16string_view line, std::u16string* problem);
  bool ValueLine(std::u16string_view line, std::u16string* problem);
  // A hex list may go on over lines ending in "\"; the pieces are joined here.
  std::u16string_view JoinContinuations(std::u16string_view data);

  LineReader lines_;
  std::u16string_view currentUserSid_;
  const RegeditKeyCheck& check_;
  std::vector<RegistryEdit> edits_;
  std::u16string key_;
  bool inKey_ = false;
  bool keyDeleted_ = false;
  std::u16string joined_;
};

bool Parser::Run(std::vector<RegistryEdit>* edits, std::u16string* problem, size_t* line) {
  std::u16string_view text;
  bool sawHeader = false;
  while (lines_.Next(&text)) {
    *line = lines_.Number();
    text = TrimLeft(text);
    if (!sawHeader) {
      if (text.empty()) continue;
      if (text != kHeader) {
        *problem = u"expected \"Windows Registry Editor Version 5.00\"";
        return false;
      }
      sawHeader = true;
      continue;
    }
    if (!Line(text, problem)) return false;
  }
  if (!sawHeader) {
    *problem = u"expected \"Windows Registry Editor Version 5.00\"";
    return false;
  }
  *edits = std::move(edits_);
  return true;
}

bool Parser::Line(std::u16string_view line, std::u16string* problem) {
  if (line.empty() || line.front() == u';') return true;
  if (line.front() == u'[') return KeyLine(line, problem);
  if (line.front() == u'@' || line.front() == u'"') return ValueLine(line, problem);
  *problem = u"expected a [key] or a value line";
  return false;
}

bool Parser::KeyLine(std::u16string_view line, std::u16string* problem) {
  if (line.back() != u']') {
    *problem = u"key line without closing \"]\"";
    return false;
  }
  std::u16string_view path = line.substr(1, line.size() - 2);
  keyDeleted_ = !path.empty() && path.front() == u'-';
  if (keyDeleted_) path.remove_prefix(1);
  if (!RegeditKeyToStorePath(path, currentUserSid_, &key_, problem)) return false;
  if (check_ && !check_(key_, keyDeleted_, problem)) return false;
  inKey_ = true;
  RegistryEdit edit;
  edit.kind = keyDeleted_ ? RegistryEdit::Kind::kDeleteTree : RegistryEdit::Kind::kCreateKey;
  edit.keyPath = key_;
  edits_.push_back(std::move(edit));
  return true;
}

bool Parser::ValueLine(std::u16string_view line, std::u16string* problem) {
  if (!inKey_ || keyDeleted_) {
    *problem = inKey_ ? u"value under a deleted key" : u"value before any [key]";
    return false;
  }
  // HKEY_LOCAL_MACHINE and HKEY_USERS only hold hives; a value there would vanish.
  if (IsBareRoot(key_)) {
    *problem = u"value under a root key, which holds only hives";
    return false;
  }
  RegistryEdit edit;
  edit.keyPath = key_;
  size_t used = 1;
  std::u16string_view rest;
  if (line.front() == u'"' && !ParseQuoted(line, &edit.valueName, &used)) {
    const std::u16string_view from = lines_.From(line);
    if (!ParseQuoted(from, &edit.valueName, &used)) {
      *problem = u"value name without closing quote";
      return false;
    }
    rest = TrimLeft(lines_.ResumeAfter(from, used));
  } else {
    rest = TrimLeft(line.substr(used));
  }
  if (rest.empty() || rest.front() != u'=') {
    *problem = u"expected \"=\" after the value name";
    return false;
  }
  rest = TrimLeft(rest.substr(1));
  if (rest.starts_with(u"hex")) rest = JoinContinuations(rest);
  if (!ParseValueData(rest, &edit, problem)) return false;
  edits_.push_back(std::move(edit));
  return true;
}

std::u16string_view Parser::JoinContinuations(std::u16string_view data) {
  if (data.empty() || data.back() != u'\\') return data;
  joined_.assign(data.substr(0, data.size() - 1));
  std::u16string_view next;
  while (lines_.Next(&next)) {
    next = TrimLeft(next);
    const bool more = !next.empty() && next.back() == u'\\';
    joined_.append(more ? next.substr(0, next.size() - 1) : next);
    if (!more) break;
  }
  return joined_;
}

}  // namespace

bool DecodeRegeditText(std::span<const uint8_t> bytes, std::u16string* text) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    if (bytes.size() % 2 != 0) return false;
    *text = Platform::Utf16LeText(bytes.subspan(2));
    return true;
  }
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    bytes = bytes.subspan(3);
  }
  *text = Platform::Utf8ToUtf16(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  return true;
}

bool ParseRegedit(std::span<const uint8_t> bytes, std::u16string_view fileName,
                  std::u16string_view currentUserSid, std::vector<RegistryEdit>* edits,
                  std::u16string* error, const RegeditKeyCheck& check) {
  std::u16string text;
  std::u16string problem;
  size_t line = 0;
  if (!DecodeRegeditText(bytes, &text)) {
    problem = u"UTF-16 text of an odd number of bytes";
  } else if (Parser(text, currentUserSid, check).Run(edits, &problem, &line)) {
    return true;
  }
  if (error != nullptr) {
    const std::string number = std::to_string(line);
    *error = std::u16string(fileName) + u":" + std::u16string(number.begin(), number.end()) +
             u": " + problem;
  }
  return false;
}

}  // namespace Emulated
