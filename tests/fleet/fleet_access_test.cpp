// Servers that ask who is connecting: a user and password, and TLS with a
// certificate from a test authority made with openssl.

#include <filesystem>
#include <fstream>

#include "fleet_fixture.h"

using namespace FleetTest;

namespace {

// A throw-away authority and a server certificate for 127.0.0.1 signed by it.
bool MakeAuthority(const std::string& dir) {
  const std::string ca = dir + "/ca", server = dir + "/server";
  std::ofstream(dir + "/san.cnf") << "subjectAltName = IP:127.0.0.1\n";
  std::string out;
  return RunProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                     "/CN=Brumevale Test Authority", "-keyout", ca + ".key", "-out", ca + ".pem"}, &out) == 0 &&
         RunProgram({"openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
                     server + ".key", "-out", server + ".csr"}, &out) == 0 &&
         RunProgram({"openssl", "x509", "-req", "-in", server + ".csr", "-CA", ca + ".pem", "-CAkey", ca + ".key",
                     "-CAcreateserial", "-days", "2", "-extfile", dir + "/san.cnf", "-out", server + ".pem"}, &out) == 0;
}

std::vector<std::string> Export(const std::string& urls, const Machine& machine, std::vector<std::string> more) {
  std::vector<std::string> args = {"export", "--server", urls, machine.database, "--machine", machine.name,
                                   "--give-up-after", "1"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

}  // namespace

TEST(FleetAccess, UserAndPassword) {
  TemporaryFolder folder;
  NatsCluster server;
  ASSERT_TRUE(server.Start(folder.String(), 1, "authorization { user: fleet, password: \"s3cret pass\" }"));
  std::ofstream(folder.String() + "/right") << "s3cret pass\n";
  std::ofstream(folder.String() + "/wrong") << "guess\n";
  const Machine& machine = DemoMachines()[0];
  std::string out;
  EXPECT_EQ(RunFleet(Export(server.Urls(), machine, {}), &out), 1) << out;
  EXPECT_NE(out.find("Authorization"), std::string::npos) << out;
  EXPECT_EQ(RunFleet(Export(server.Urls(), machine, {"--user", "fleet", "--password-file", folder.String() + "/wrong"}), &out), 1);
  EXPECT_EQ(RunFleet(Export(server.Urls(), machine, {"--user", "fleet", "--password-file", folder.String() + "/right"}), &out), 0)
      << out;
  EXPECT_EQ(RunFleet(Export(server.Urls(), machine, {"--user", "fleet"}), &out), 2) << out;
  EXPECT_EQ(RunFleet(Export(server.Urls(), machine, {"--user", "fleet", "--password-file", folder.String() + "/none"}), &out), 2);
  EXPECT_NE(out.find("password file"), std::string::npos) << out;
}

TEST(FleetAccess, TlsWithATestAuthority) {
  TemporaryFolder folder;
  ASSERT_TRUE(MakeAuthority(folder.String()));
  NatsCluster server;
  ASSERT_TRUE(server.Start(folder.String(), 1, "tls { cert_file: \"" + folder.String() + "/server.pem\"\n key_file: \"" +
                                                   folder.String() + "/server.key\" }"));
  const Machine& machine = DemoMachines()[0];
  std::string out;
  EXPECT_EQ(RunFleet(Export(server.Urls("tls"), machine, {"--tls-ca", folder.String() + "/ca.pem"}), &out), 0) << out;
  // Without the authority the server's certificate is not trusted.
  EXPECT_EQ(RunFleet(Export(server.Urls("tls"), machine, {}), &out), 1) << out;
  EXPECT_EQ(RunFleet(Export(server.Urls("tls"), machine, {"--tls-ca", folder.String() + "/missing.pem"}), &out), 2) << out;
  EXPECT_NE(out.find("certificate file"), std::string::npos) << out;
}
