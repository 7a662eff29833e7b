#pragma once
// Everything here is allowed: it checks that the checker does not see what is not there.
#define SPLIT(a) \
  int a;

struct sqlite3;

namespace Outer {
class Forward;
}  // namespace Outer

namespace Core {

// class NotReal { in a comment
inline constexpr char kBraces[] = "} class Fake {";
inline constexpr char16_t kRaw[] = uR"x(}
struct AlsoFake {)x";
inline constexpr char kQuote = '}';
inline constexpr long kDay = 86'400;

struct Kept {
  int value;
};

}  // namespace Core
