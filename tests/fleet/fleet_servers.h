#pragma once
// Real servers for the fleet tests, on loopback ports and in temporary folders,
// stopped with the objects: a NATS cluster with JetStream and a PostgreSQL instance
// (run as an unprivileged user, since PostgreSQL refuses root and CI runs as root).

#include <memory>
#include <string>
#include <vector>

#include "child_process.h"

class NatsCluster {
 public:
  ~NatsCluster();
  // nodes: 1 (no cluster) or more; extra is appended to every node's configuration
  // (authorization, tls). jetstream false leaves JetStream off.
  bool Start(const std::string& folder, int nodes, const std::string& extra = "", bool jetstream = true);
  void KillNode(size_t i);
  bool RestartNode(size_t i);
  // nats://127.0.0.1:port of every node, comma-separated (scheme replaceable).
  std::string Urls(const std::string& scheme = "nats") const;
  int Port(size_t i) const { return nodes_[i].port; }
  std::string Log(size_t i) const;

 private:
  struct Node {
    int port = 0;
    int clusterPort = 0;
    std::string config;
    std::unique_ptr<ChildProcess> process;
  };
  bool StartNode(size_t i);
  std::string folder_;
  std::vector<Node> nodes_;
};

class PostgresServer {
 public:
  ~PostgresServer();
  bool Start(const std::string& folder);
  bool Stop();     // a fast shutdown: clients are cut off
  bool Resume();   // the same data folder again; nothing when it runs
  // A connection string for a database, created on first use.
  std::string Conninfo(const std::string& database = "postgres");
  bool CreateDatabase(const std::string& name);
  int Port() const { return port_; }

 private:
  bool PgCtl(const std::vector<std::string>& args);
  std::vector<std::string> AsOwner(std::vector<std::string> argv) const;
  std::string folder_;
  int port_ = 0;
  bool running_ = false;
};

// The PostgreSQL binaries of the Debian package.
std::string PostgresBin(const std::string& program);
