#include "fleet_servers.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

std::string PostgresBin(const std::string& program) { return "/usr/lib/postgresql/15/bin/" + program; }

NatsCluster::~NatsCluster() {
  for (Node& node : nodes_)
    if (node.process) node.process->Stop();
}

bool NatsCluster::Start(const std::string& folder, int count, const std::string& extra, bool jetstream) {
  folder_ = folder;
  nodes_.resize(count);
  for (Node& node : nodes_) {
    node.port = FreePort();
    node.clusterPort = FreePort();
  }
  for (int i = 0; i < count; ++i) {
    std::ostringstream config;
    config << "server_name: n" << i << "\nlisten: 127.0.0.1:" << nodes_[i].port << "\n";
    if (jetstream) config << "jetstream { store_dir: \"" << folder << "/js" << i << "\" }\n";
    if (count > 1) {
      config << "cluster { name: brumevale-test\n  listen: 127.0.0.1:" << nodes_[i].clusterPort << "\n  routes: [";
      for (int j = 0; j < count; ++j)
        if (j != i) config << "\n    nats-route://127.0.0.1:" << nodes_[j].clusterPort;
      config << "\n  ]\n}\n";
    }
    config << extra << "\n";
    nodes_[i].config = folder + "/n" + std::to_string(i) + ".conf";
    std::ofstream(nodes_[i].config) << config.str();
  }
  for (size_t i = 0; i < nodes_.size(); ++i)
    if (!StartNode(i)) return false;
  return true;
}

bool NatsCluster::StartNode(size_t i) {
  Node& node = nodes_[i];
  node.process = std::make_unique<ChildProcess>();
  return node.process->Start({"nats-server", "-c", node.config}, Log(i)) && WaitForPort(node.port, 10000);
}

void NatsCluster::KillNode(size_t i) { nodes_[i].process->Kill(); }
bool NatsCluster::RestartNode(size_t i) { return StartNode(i); }

std::string NatsCluster::Urls(const std::string& scheme) const {
  std::string out;
  for (const Node& node : nodes_) out += (out.empty() ? "" : ",") + scheme + "://127.0.0.1:" + std::to_string(node.port);
  return out;
}

std::string NatsCluster::Log(size_t i) const { return folder_ + "/n" + std::to_string(i) + ".log"; }

PostgresServer::~PostgresServer() { Stop(); }

std::vector<std::string> PostgresServer::AsOwner(std::vector<std::string> argv) const {
  if (geteuid() != 0) return argv;
  argv.insert(argv.begin(), {"runuser", "-u", "nobody", "--"});
  return argv;
}

bool PostgresServer::PgCtl(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {PostgresBin("pg_ctl"), "-D", folder_ + "/data", "-l", folder_ + "/server.log"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string out;
  return RunProgram(AsOwner(argv), &out, 60000) == 0;
}

bool PostgresServer::Start(const std::string& folder) {
  folder_ = folder + "/pg";
  fs::create_directories(folder_);
  if (geteuid() == 0 && chown(folder_.c_str(), 65534, 65534) != 0) return false;
  // The folders above must let the unprivileged owner through.
  fs::permissions(folder, fs::perms::others_exec, fs::perm_options::add);
  std::string out;
  if (RunProgram(AsOwner({PostgresBin("initdb"), "-D", folder_ + "/data", "-A", "trust", "-U", "postgres",
                          "--no-sync"}), &out, 60000) != 0)
    return false;
  port_ = FreePort();
  return Resume();
}

bool PostgresServer::Resume() {
  if (running_) return true;
  running_ = PgCtl({"-w", "-o", "-p " + std::to_string(port_) + " -k " + folder_ +
                                   " -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=200",
                    "start"});
  return running_;
}

bool PostgresServer::Stop() {
  if (!running_) return true;
  running_ = !PgCtl({"-w", "-m", "fast", "stop"});
  return !running_;
}

std::string PostgresServer::Conninfo(const std::string& database) {
  return "host=127.0.0.1 port=" + std::to_string(port_) + " user=postgres dbname=" + database +
         " connect_timeout=3";
}

bool PostgresServer::CreateDatabase(const std::string& name) {
  std::string out;
  return RunProgram({PostgresBin("psql"), "-q", Conninfo(), "-c", "CREATE DATABASE " + name}, &out) == 0;
}
