#pragma once
// An RFC 3161 time-stamp server over HTTP on 127.0.0.1 for one test: every request is
// answered by `openssl ts -reply` with the given authority. It serves until destroyed,
// and never longer than a minute, so that a hung client cannot keep it alive.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

class TimeStampServer {
 public:
  TimeStampServer(const std::filesystem::path& folder, const std::string& authorityPem,
                  const std::string& authorityKey, const std::string& chainPem)
      : folder_(folder), authorityPem_(authorityPem), authorityKey_(authorityKey), chainPem_(chainPem) {
    WriteConfig();
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener_, 4) != 0) return;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TimeStampServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    close(listener_);
  }

  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
  bool Running() const { return port_ != 0; }

 private:
  void WriteConfig() {
    std::ofstream(folder_ / "tsaserial") << "01\n";
    std::ofstream config(folder_ / "tsa.cnf");
    config << "[tsa]\ndefault_tsa = tsa_config\n[tsa_config]\nserial = " << (folder_ / "tsaserial").string()
           << "\ncrypto_device = builtin\nsigner_digest = sha256\ndefault_policy = 1.2.3.4.1\n"
           << "digests = sha1, sha256\naccuracy = secs:1\nordering = yes\ntsa_name = no\n"
           << "ess_cert_id_chain = no\ness_cert_id_alg = sha256\n";
  }

  void Serve() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!stop_ && std::chrono::steady_clock::now() < deadline) {
      pollfd waiting{listener_, POLLIN, 0};
      if (poll(&waiting, 1, 100) <= 0) continue;
      const int client = accept(listener_, nullptr, nullptr);
      if (client >= 0) Answer(client);
      if (client >= 0) close(client);
    }
  }

  static std::string ReadRequestBody(int client) {
    std::string data;
    char buffer[4096];
    size_t bodyAt = std::string::npos;
    size_t contentLength = 0;
    while (bodyAt == std::string::npos || data.size() < bodyAt + contentLength) {
      pollfd waiting{client, POLLIN, 0};
      if (poll(&waiting, 1, 5000) <= 0) return {};
      const ssize_t got = recv(client, buffer, sizeof buffer, 0);
      if (got <= 0) return {};
      data.append(buffer, static_cast<size_t>(got));
      if (bodyAt == std::string::npos && (bodyAt = data.find("\r\n\r\n")) != std::string::npos) {
        bodyAt += 4;
        std::string headers = data.substr(0, bodyAt);
        for (char& c : headers) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const size_t at = headers.find("content-length:");
        contentLength = at == std::string::npos ? 0 : std::stoul(headers.substr(at + 15));
      }
    }
    return data.substr(bodyAt, contentLength);
  }

  void Answer(int client) {
    const std::string query = ReadRequestBody(client);
    std::ofstream(folder_ / "request.tsq", std::ios::binary) << query;
    const std::string command = "openssl ts -reply -config '" + (folder_ / "tsa.cnf").string() + "' -queryfile '" +
                                (folder_ / "request.tsq").string() + "' -signer '" + authorityPem_ + "' -inkey '" +
                                authorityKey_ + "' -chain '" + chainPem_ + "' -out '" +
                                (folder_ / "reply.tsr").string() + "' >'" + (folder_ / "tsa.log").string() + "' 2>&1";
    std::string reply;
    if (std::system(command.c_str()) == 0) {
      std::ifstream in(folder_ / "reply.tsr", std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      reply = bytes.str();
    }
    const std::string head = std::string(reply.empty() ? "HTTP/1.1 500 Error" : "HTTP/1.1 200 OK") +
                             "\r\nContent-Type: application/timestamp-reply\r\nContent-Length: " +
                             std::to_string(reply.size()) + "\r\nConnection: close\r\n\r\n";
    send(client, head.data(), head.size(), MSG_NOSIGNAL);
    send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
  }

  std::filesystem::path folder_;
  std::string authorityPem_;
  std::string authorityKey_;
  std::string chainPem_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
