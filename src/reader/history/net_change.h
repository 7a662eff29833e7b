#pragma once
// What a window of the history amounts to, per load point: the answer people
// otherwise get by saving two scans and comparing them. A load point added and
// removed again within the window, or changed back to what it was, drops out.

#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "reader/record/records.h"

namespace Reader {

struct NetChange {
  std::string typeName;
  int32_t loadPointType = 0;
  std::string entry;
  std::string user;
  std::string change;  // "added", "changed", "removed"
  std::string oldCommandLine;
  std::string newCommandLine;
  std::vector<std::string> processes;  // paths of the processes that acted, in order
  std::string firstTime;
  std::string lastTime;
};

// Takes the events of the window, oldest first, and gives the net change of each
// load point in the order each was first touched.
class NetChangeBuilder {
 public:
  void Add(const EventRecord& event);
  std::vector<NetChange> Result() const;

 private:
  struct Track {
    NetChange net;
    bool existedBefore = true;
    bool existsAfter = true;
    int32_t lastStateChange = 0;  // of the latest event: 1 disabled, 2 enabled again
  };
  std::map<std::string, size_t> index_;
  std::vector<Track> tracks_;
};

nlohmann::json NetChangeJson(const NetChange& change);
std::string NetChangeText(const NetChange& change);
std::string NetChangeCsvHeader();
std::string NetChangeCsvRow(const NetChange& change);

}  // namespace Reader
