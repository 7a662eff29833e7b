#pragma once
// A scenario: what happens on a simulated machine while the service watches, one
// action a line. Actions by a process start with "<pid>[:<tid>]"; actions of the
// machine (wait, service stop/start, driver stop/start, user logon/logoff) stand
// alone. The whole file is parsed before
// anything runs, so a typo on the last line never leaves a half-played machine.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Sim {

enum class ActionKind {
  kRegAdd,
  kRegDelete,
  kFileCreate,
  kFileWrite,
  kFileRename,
  kFileDelete,
  kFileStream,
  kFileCopy,
  kFileHold,
  kProcessStart,
  kProcessExit,
  kThreadCreate,
  kThreadExit,
  kWait,
  kServiceStop,
  kServiceStart,
  kDriverStop,
  kDriverStart,
  kUserLogon,
  kUserLogoff,
};

// How "file write" and "file stream" put their text into bytes: UTF-8 without a
// byte-order mark, or UTF-16LE after FF FE, as Windows tools write XML and INF files.
enum class TextEncoding { kUtf8, kUtf16Le };

// Which part of a key a "reg" line touches.
enum class ValueTarget { kKey, kNamed, kDefault, kAllValues };

struct ScenarioAction {
  int line = 0;
  ActionKind kind = ActionKind::kWait;
  uint32_t processId = 0;  // the acting process (and thread, 0 = any)
  uint32_t threadId = 0;

  // reg add / reg delete. keyPath as written: "HKLM\Software\x".
  std::u16string keyPath;
  ValueTarget target = ValueTarget::kKey;
  std::u16string valueName;
  uint32_t valueType = 0;
  std::vector<uint8_t> data;

  // file actions: path, and the rename or copy target (a copy reads path); text as
  // written in the scenario (UTF-8), stored in the file in encoding.
  std::u16string path;
  std::u16string newPath;
  std::string text;
  TextEncoding encoding = TextEncoding::kUtf8;
  uint32_t share = 0;  // file hold: 0 (share=none) or FILE_SHARE_READ (share=read)

  // process start / exit, thread exit.
  std::u16string image;
  std::u16string owner;               // empty: the acting process's owner
  std::optional<uint32_t> parent;     // empty: the acting process
  std::optional<uint32_t> fixedId;    // pid= of a new process, tid= of a new thread
  uint32_t subjectId = 0;             // the process or thread that ends

  int64_t seconds = 0;  // wait
  std::u16string userName;  // user logon / logoff: "name" or "DOMAIN\name"
};

struct Scenario {
  std::vector<ScenarioAction> actions;
};

// Parses the whole text. On the first bad line returns false with error
// "<fileName>:<line>: <what is wrong>".
bool ParseScenario(std::string_view text, std::string_view fileName, Scenario* scenario,
                   std::string* error);
bool LoadScenarioFile(const std::string& hostPath, Scenario* scenario, std::string* error);

// The words of a line, split at blanks; double quotes group, \" is a quote inside
// them. False for an unterminated quote.
bool SplitScenarioWords(std::string_view line, std::vector<std::string>* words);

// The bytes that a file action's text becomes in the file.
std::vector<uint8_t> EncodeFileText(std::string_view text, TextEncoding encoding);

}  // namespace Sim
