// Reading a scenario file: one action a line, "#" starts a comment line.

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>

#include "platform/byte_order.h"
#include "platform/text_encoding.h"
#include "sim/reg_command.h"
#include "sim/scenario.h"

namespace Sim {
namespace {

bool ParseId(std::string_view text, uint32_t* value) {
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && ptr == text.data() + text.size() && !text.empty();
}

// "1234" or "1234:5678".
bool ParseActor(const std::string& word, ScenarioAction* action) {
  const size_t colon = word.find(':');
  if (!ParseId(std::string_view(word).substr(0, colon), &action->processId)) return false;
  return colon == std::string::npos ||
         ParseId(std::string_view(word).substr(colon + 1), &action->threadId);
}

// The character that "\<c>" stands for in file text, or 0 when it is no escape.
char Escaped(char c) {
  switch (c) {
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    case '\\': return '\\';
    default: return 0;
  }
}

// File text: \n, \r and \t stand for a line break, a carriage return and a tab,
// \\ for a backslash; any other backslash is kept.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char escaped = text[i] == '\\' && i + 1 < text.size() ? Escaped(text[i + 1]) : 0;
    out += escaped != 0 ? escaped : text[i];
    if (escaped != 0) ++i;
  }
  return out;
}

bool ParseOption(const std::string& word, const char* name, std::string* value) {
  const std::string prefix = std::string(name) + "=";
  if (word.rfind(prefix, 0) != 0) return false;
  *value = word.substr(prefix.size());
  return true;
}

// "encoding=utf-8" (the default) or "encoding=utf-16le" (with its byte-order mark;
// "utf-16" and "unicode" name the same, as Windows tools call it).
bool ParseEncoding(const std::string& word, TextEncoding* encoding, std::string* error) {
  std::string name;
  if (!ParseOption(word, "encoding", &name)) {
    *error = "unknown file option \"" + word + "\" (encoding=utf-8|utf-16le)";
    return false;
  }
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (name == "utf-8" || name == "utf8") {
    *encoding = TextEncoding::kUtf8;
  } else if (name == "utf-16le" || name == "utf-16" || name == "unicode") {
    *encoding = TextEncoding::kUtf16Le;
  } else {
    *error = "unknown encoding \"" + name + "\" (utf-8 or utf-16le)";
    return false;
  }
  return true;
}

struct FileForm {
  const char* verb;
  ActionKind kind;
  size_t arguments;
  const char* usage;
};

constexpr FileForm kFileForms[] = {
    {"create", ActionKind::kFileCreate, 1, "a path"},
    {"write", ActionKind::kFileWrite, 2, "a path and a text, then optionally encoding="},
    {"rename", ActionKind::kFileRename, 2, "two paths"},
    {"delete", ActionKind::kFileDelete, 1, "a path"},
    {"stream", ActionKind::kFileStream, 2, "a path and a text, then optionally encoding="},
    {"copy", ActionKind::kFileCopy, 2, "a source and a destination path"},
};

bool TakesText(ActionKind kind) { return kind == ActionKind::kFileWrite || kind == ActionKind::kFileStream; }

// "hold PATH [share=none|read]": the file stays open, for reading, until the process
// exits; others may then read it only with share=read. none is the default.
bool ParseHold(const std::vector<std::string>& w, ScenarioAction* a, std::string* error) {
  std::string share = "none";
  if (w.size() < 2 || w.size() > 3 || (w.size() == 3 && !ParseOption(w[2], "share", &share)) ||
      (share != "none" && share != "read")) {
    *error = "file hold takes a path, then optionally share=none or share=read";
    return false;
  }
  a->kind = ActionKind::kFileHold;
  a->path = Platform::Utf8ToUtf16(w[1]);
  a->share = share == "read" ? 0x1u : 0u;  // FILE_SHARE_READ
  return true;
}

bool ParseFile(const std::vector<std::string>& w, ScenarioAction* a, std::string* error) {
  if (!w.empty() && w[0] == "hold") return ParseHold(w, a, error);
  const auto form = std::find_if(std::begin(kFileForms), std::end(kFileForms),
                                 [&](const FileForm& f) { return !w.empty() && w[0] == f.verb; });
  if (form == std::end(kFileForms)) {
    *error = "file needs create, write, rename, delete, stream, copy or hold";
    return false;
  }
  const size_t optional = TakesText(form->kind) ? 1 : 0;
  if (w.size() < form->arguments + 1 || w.size() > form->arguments + 1 + optional) {
    *error = std::string("file ") + form->verb + " takes " + form->usage;
    return false;
  }
  a->kind = form->kind;
  a->path = Platform::Utf8ToUtf16(w[1]);
  if (form->kind == ActionKind::kFileRename || form->kind == ActionKind::kFileCopy)
    a->newPath = Platform::Utf8ToUtf16(w[2]);
  if (TakesText(form->kind)) a->text = Unescape(w[2]);
  if (w.size() == form->arguments + 2 && !ParseEncoding(w.back(), &a->encoding, error)) return false;
  if (a->kind == ActionKind::kFileStream && a->path.find(u':', 2) == std::u16string::npos) {
    *error = "file stream needs a path with a stream name: \"C:\\file:Name\"";
    return false;
  }
  return true;
}

bool ParseProcessStart(const std::vector<std::string>& w, ScenarioAction* a, std::string* error) {
  if (w.size() < 2) {
    *error = "process start needs an image path";
    return false;
  }
  a->kind = ActionKind::kProcessStart;
  a->image = Platform::Utf8ToUtf16(w[1]);
  for (size_t i = 2; i < w.size(); ++i) {
    std::string value;
    uint32_t id = 0;
    if (ParseOption(w[i], "owner", &value) && !value.empty()) {
      a->owner = Platform::Utf8ToUtf16(value);
    } else if (ParseOption(w[i], "parent", &value) && ParseId(value, &id)) {
      a->parent = id;
    } else if (ParseOption(w[i], "pid", &value) && ParseId(value, &id)) {
      a->fixedId = id;
    } else {
      *error = "unknown process start option \"" + w[i] + "\" (owner=, parent=, pid=)";
      return false;
    }
  }
  return true;
}

bool ParseEnding(const std::vector<std::string>& w, const char* what, ActionKind kind,
                 ScenarioAction* a, std::string* error) {
  if (w.size() != 2 || !ParseId(w[1], &a->subjectId)) {
    *error = std::string(what) + " exit needs one " + what + " id";
    return false;
  }
  a->kind = kind;
  return true;
}

bool ParseByProcess(const std::vector<std::string>& w, ScenarioAction* a, std::string* error) {
  const std::vector<std::string> rest(w.begin() + 2, w.end());
  if (w[1] == "reg") return ParseRegCommand(rest, a, error);
  if (w[1] == "file") return ParseFile(rest, a, error);
  if (w[1] == "process" && !rest.empty() && rest[0] == "start") return ParseProcessStart(rest, a, error);
  if (w[1] == "process" && !rest.empty() && rest[0] == "exit")
    return ParseEnding(rest, "process", ActionKind::kProcessExit, a, error);
  if (w[1] == "thread" && !rest.empty() && rest[0] == "create") {
    a->kind = ActionKind::kThreadCreate;
    std::string value;
    uint32_t id = 0;
    if (rest.size() == 2 && ParseOption(rest[1], "tid", &value) && ParseId(value, &id)) a->fixedId = id;
    if (rest.size() == 1 || a->fixedId) return true;
    *error = "thread create takes only tid=<n>";
    return false;
  }
  if (w[1] == "thread" && !rest.empty() && rest[0] == "exit")
    return ParseEnding(rest, "thread", ActionKind::kThreadExit, a, error);
  *error = "unknown action \"" + w[1] + "\" (reg, file, process start|exit, thread create|exit)";
  return false;
}

bool ParseByMachine(const std::vector<std::string>& w, ScenarioAction* a, std::string* error) {
  if (w[0] == "wait") {
    const bool ok = w.size() == 2 &&
                    std::from_chars(w[1].data(), w[1].data() + w[1].size(), a->seconds).ptr ==
                        w[1].data() + w[1].size() &&
                    a->seconds >= 0;
    if (!ok) *error = "wait needs a whole number of seconds";
    a->kind = ActionKind::kWait;
    return ok;
  }
  if ((w[0] == "service" || w[0] == "driver") && w.size() == 2 && (w[1] == "stop" || w[1] == "start")) {
    const bool service = w[0] == "service";
    a->kind = w[1] == "stop" ? (service ? ActionKind::kServiceStop : ActionKind::kDriverStop)
                             : (service ? ActionKind::kServiceStart : ActionKind::kDriverStart);
    return true;
  }
  if (w[0] == "service" || w[0] == "driver") {
    *error = w[0] + " needs stop or start";
    return false;
  }
  if (w[0] == "user") {
    const bool ok = w.size() == 3 && (w[1] == "logon" || w[1] == "logoff") && !w[2].empty();
    if (!ok) *error = "user needs logon or logoff and one user name";
    a->kind = ok && w[1] == "logoff" ? ActionKind::kUserLogoff : ActionKind::kUserLogon;
    if (ok) a->userName = Platform::Utf8ToUtf16(w[2]);
    return ok;
  }
  if (w[0] == "reg" || w[0] == "file" || w[0] == "process" || w[0] == "thread") {
    *error = "\"" + w[0] + "\" needs the acting process first: <pid>[:<tid>] " + w[0] + " ...";
  } else {
    *error = "unknown action \"" + w[0] + "\"";
  }
  return false;
}

bool ParseLine(std::string_view line, ScenarioAction* action, std::string* error) {
  std::vector<std::string> words;
  if (!SplitScenarioWords(line, &words)) {
    *error = "a quote is not closed";
    return false;
  }
  if (!words.empty() && ParseActor(words[0], action)) {
    if (words.size() < 2) {
      *error = "nothing to do after the process id";
      return false;
    }
    return ParseByProcess(words, action, error);
  }
  return ParseByMachine(words, action, error);
}

}  // namespace

bool SplitScenarioWords(std::string_view line, std::vector<std::string>* words) {
  std::string word;
  bool inWord = false, quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '\\' && i + 1 < line.size() && line[i + 1] == '"') {
      word += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (c == ' ' || c == '\t' || c == '\r')) {
      if (inWord) words->push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words->push_back(word);
  return !quoted;
}

std::vector<uint8_t> EncodeFileText(std::string_view text, TextEncoding encoding) {
  if (encoding == TextEncoding::kUtf8) return std::vector<uint8_t>(text.begin(), text.end());
  std::vector<uint8_t> bytes{0xFF, 0xFE};
  Platform::AppendUtf16Le(bytes, Platform::Utf8ToUtf16(text));
  return bytes;
}

bool ParseScenario(std::string_view text, std::string_view fileName, Scenario* scenario,
                   std::string* error) {
  Scenario parsed;
  int number = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos || line[first] == '#') continue;
    ScenarioAction action;
    action.line = number;
    std::string problem;
    if (!ParseLine(line, &action, &problem)) {
      *error = std::string(fileName) + ":" + std::to_string(number) + ": " + problem;
      return false;
    }
    parsed.actions.push_back(std::move(action));
  }
  *scenario = std::move(parsed);
  return true;
}

bool LoadScenarioFile(const std::string& hostPath, Scenario* scenario, std::string* error) {
  std::ifstream in(hostPath, std::ios::binary);
  if (!in) {
    *error = hostPath + ": cannot be read";
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  const size_t slash = hostPath.find_last_of('/');
  const std::string name = slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
  std::string body = text.str();
  if (body.rfind("\xEF\xBB\xBF", 0) == 0) body.erase(0, 3);
  return ParseScenario(body, name, scenario, error);
}

}  // namespace Sim
