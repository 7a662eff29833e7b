#pragma once
// Which LoadPoints rows answer a lookup by identity (type, user, name), held in
// memory so that a live lookup costs no query. LoadPoints is indexed on its type
// only, so the query would read every row of the type: a burst that adds thousands
// of rows of one type would grow with the square of its size.
//
// The identity is compared as SQL's "=" compares text: byte for byte in the UTF-8
// that SqlText stores, letter case kept. Several rows may share an identity; their
// keys are kept in ascending order, as the query returns them.
//
// The index follows the connection that keeps it: every insert and delete it makes
// is entered at once, committed or not, and any transaction that ends without its
// commit drops the whole index, which is read again at the next lookup. It therefore
// never holds a row the file does not.
//
// Why no identity index on LoadPoints instead: an index on (LP_TYPE, USER_ID,
// ENTRY_NAME) answering every lookup in place of this cache (and of ScanSnapshot) was
// measured in a release build. The live burst of value sets on one Run key took 1.36x
// as long (222 ms against 163 ms), because every lookup became a statement step and
// every insert a second B-tree write; a single live event was no faster (1.04x). The
// cache costs a read of the type's rows once per connection and nothing per lookup.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Database {

class LoadPointIndex {
 public:
  // The identity as one string; none when a text holds a NUL unit, which ends the
  // statement text inside its quotes, so that such a lookup never matches a row.
  static std::optional<std::string> Identity(int32_t type, std::u16string_view userId,
                                             std::u16string_view entryName);
  // The same from texts already in their stored UTF-8 form.
  static std::string Identity(int32_t type, std::string_view userId, std::string_view entryName);

  bool Loaded() const { return loaded_; }
  // Empties the index and marks it loaded; Add then fills it.
  void Reset();
  // Forgets every row: the next lookup must read the table again.
  void Drop();
  void Add(const std::string& identity, int32_t key);
  void Remove(int32_t key);
  // Ascending keys of the rows with that identity; null when there are none.
  const std::vector<int32_t>* Find(const std::string& identity) const;
  size_t Size() const { return identities_.size(); }

 private:
  std::unordered_map<std::string, std::vector<int32_t>> keys_;
  std::unordered_map<int32_t, std::string> identities_;
  bool loaded_ = false;
};

}  // namespace Database
