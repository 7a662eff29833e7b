// Command lines of load points are split the way Windows programs read their own:
// backslashes are ordinary characters except directly before a double quote, where
// each pair gives one backslash and an odd one makes the quote literal; quotes group
// text with spaces; outside quotes a caret makes the next character literal, as the
// command interpreter does before a program ever sees its line.

#include "util/path_routines.h"
#include "util/text_routines.h"

namespace VyrUtilities {

namespace {

class CommandLineSplitter {
 public:
  CommandLineSplitter(std::u16string& program, std::vector<std::u16string>& arguments)
      : program_(program), arguments_(arguments) {}

  void Run(std::u16string_view line) {
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] == u'\\') {
        ++backslashes_;
        continue;
      }
      bool literalQuote = EmitBackslashes(line[i] == u'"');
      if (line[i] == u'"') {
        Quote(literalQuote, i + 1 < line.size() && line[i + 1] == u'"', i);
      } else {
        Other(line[i]);
      }
    }
    token_.append(backslashes_, u'\\');
    EndToken();
  }

 private:
  // Returns whether a following quote is escaped by an odd backslash.
  bool EmitBackslashes(bool beforeQuote) {
    size_t count = beforeQuote ? backslashes_ / 2 : backslashes_;
    bool odd = beforeQuote && backslashes_ % 2 == 1;
    token_.append(count, u'\\');
    backslashes_ = 0;
    return odd;
  }

  void Quote(bool literal, bool nextIsQuote, size_t& index) {
    caret_ = false;
    if (literal) {
      token_ += u'"';
    } else if (quoted_ && nextIsQuote) {
      // A doubled quote inside a quoted part is one literal quote and closes the
      // part, as the current C runtime reads a"b"" c d (ab", c, d).
      token_ += u'"';
      quoted_ = false;
      ++index;
    } else {
      quoted_ = !quoted_;
    }
  }

  void Other(char16_t c) {
    if (quoted_ || caret_) {
      token_ += c;
      caret_ = false;
    } else if (c == u'^') {
      caret_ = true;
    } else if (c == u' ' || c == u'\t') {
      EndToken();
    } else {
      token_ += c;
    }
  }

  // Tokens are trimmed and empty ones dropped, so that stray line ends or runs of
  // blanks inside quotes never turn into a program or an argument.
  void EndToken() {
    std::u16string trimmed = Trim(token_);
    token_.clear();
    if (trimmed.empty()) return;
    if (!programTaken_) {
      program_ = std::move(trimmed);
      programTaken_ = true;
    } else {
      arguments_.push_back(std::move(trimmed));
    }
  }

  std::u16string& program_;
  std::vector<std::u16string>& arguments_;
  std::u16string token_;
  size_t backslashes_ = 0;
  bool quoted_ = false;
  bool caret_ = false;
  bool programTaken_ = false;
};

}  // namespace

void SplitCommandLine(std::u16string_view commandLine, std::u16string& program,
                      std::vector<std::u16string>& arguments) {
  program.clear();
  arguments.clear();
  CommandLineSplitter(program, arguments).Run(commandLine);
}

}  // namespace VyrUtilities
