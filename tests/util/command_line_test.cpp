#include <gtest/gtest.h>

#include "util/path_routines.h"

namespace VyrUtilities {
namespace {

using List = std::vector<std::u16string>;

struct Pieces {
  std::u16string program;
  List arguments;
};

Pieces SplitLine(std::u16string_view line) {
  Pieces result;
  SplitCommandLine(line, result.program, result.arguments);
  return result;
}

TEST(SplitCommandLineTest, CaretEscapesOutsideQuotes) {
  Pieces s = SplitLine(u"C:\\App\\app.exe -k a^ b");
  EXPECT_EQ(s.program, u"C:\\App\\app.exe");
  EXPECT_EQ(s.arguments, (List{u"-k", u"a b"}));
  EXPECT_EQ(SplitLine(u"p ^^x \"a^b\"").arguments, (List{u"^x", u"a^b"}));
  EXPECT_EQ(SplitLine(u"p a^").arguments, (List{u"a"}));
}

TEST(SplitCommandLineTest, QuotedProgramWithSpaces) {
  Pieces s = SplitLine(u"\"C:\\Program Files\\App\\app.exe\" /s \t-x");
  EXPECT_EQ(s.program, u"C:\\Program Files\\App\\app.exe");
  EXPECT_EQ(s.arguments, (List{u"/s", u"-x"}));
  EXPECT_EQ(SplitLine(u"rundll32.exe \"C:\\x y\\a.dll\",Entry").arguments,
            (List{u"C:\\x y\\a.dll,Entry"}));
}

// The examples Windows documents for its own argument splitting, behind a program.
TEST(SplitCommandLineTest, DocumentedBackslashAndQuoteExamples) {
  EXPECT_EQ(SplitLine(u"p \"a b c\" d e").arguments, (List{u"a b c", u"d", u"e"}));
  EXPECT_EQ(SplitLine(u"p \"ab\\\"c\" \"\\\\\" d").arguments, (List{u"ab\"c", u"\\", u"d"}));
  EXPECT_EQ(SplitLine(u"p a\\\\\\b d\"e f\"g h").arguments, (List{u"a\\\\\\b", u"de fg", u"h"}));
  EXPECT_EQ(SplitLine(u"p a\\\\\\\"b c d").arguments, (List{u"a\\\"b", u"c", u"d"}));
  EXPECT_EQ(SplitLine(u"p a\\\\\\\\\"b c\" d e").arguments, (List{u"a\\\\b c", u"d", u"e"}));
  EXPECT_EQ(SplitLine(u"p a\"b\"\" c d").arguments, (List{u"ab\"", u"c", u"d"}));
}

TEST(SplitCommandLineTest, BackslashesBeforeAQuoteAndElsewhere) {
  // Three backslashes and a quote: one backslash and a literal quote.
  EXPECT_EQ(SplitLine(u"p x\\\\\\\"y").arguments, (List{u"x\\\"y"}));
  // Two: one backslash, and the quote opens a quoted part.
  EXPECT_EQ(SplitLine(u"p x\\\\\"y z\"").arguments, (List{u"x\\y z"}));
  // Trailing backslashes are kept as they are.
  EXPECT_EQ(SplitLine(u"p C:\\dir\\ C:\\x\\\\").arguments, (List{u"C:\\dir\\", u"C:\\x\\\\"}));
  // An unterminated quote runs to the end.
  EXPECT_EQ(SplitLine(u"p \"a b").arguments, (List{u"a b"}));
}

TEST(SplitCommandLineTest, EmptyTokensAreDroppedAndOutputsReplaced) {
  Pieces s;
  s.program = u"old";
  s.arguments = {u"old"};
  SplitCommandLine(u"  \t ", s.program, s.arguments);
  EXPECT_EQ(s.program, u"");
  EXPECT_TRUE(s.arguments.empty());

  Pieces t = SplitLine(u"  \"\" app.exe  \"  \"  a\t\tb \r\n");
  EXPECT_EQ(t.program, u"app.exe");
  EXPECT_EQ(t.arguments, (List{u"a", u"b"}));
  EXPECT_EQ(SplitLine(u"p \" padded \"").arguments, (List{u"padded"}));
}

}  // namespace
}  // namespace VyrUtilities
