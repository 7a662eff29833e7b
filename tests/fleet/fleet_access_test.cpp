// Servers that ask who is connecting: a user and password, and TLS with a
// certificate from a test authority made with openssl.

#include <filesystem>
#include <fstream>
#include <thread>

#include "fleet/links/jetstream_link.h"

#include "fleet/export/machine_identity.h"
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

// A client certificate for CN=name, signed by the authority MakeAuthority made.
bool MakeClient(const std::string& dir, const std::string& name) {
  const std::string path = dir + "/" + name;
  std::string out;
  return RunProgram({"openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + name, "-keyout", path + ".key",
                     "-out", path + ".csr"}, &out) == 0 &&
         RunProgram({"openssl", "x509", "-req", "-in", path + ".csr", "-CA", dir + "/ca.pem", "-CAkey", dir + "/ca.key",
                     "-CAcreateserial", "-days", "2", "-out", path + ".pem"}, &out) == 0;
}

std::vector<std::string> Export(const std::string& urls, const Machine& machine, std::vector<std::string> more) {
  std::vector<std::string> args = {"export", "--server", urls, machine.database, "--machine", machine.name,
                                   "--give-up-after", "1"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// fleet setup with the given credentials, once the server's JetStream answers.
bool SetUpServer(const std::string& urls, std::vector<std::string> more) {
  std::vector<std::string> args = {"fleet", "setup", "--server", urls, "--replicas", "1", "--max-bytes", "1G"};
  args.insert(args.end(), more.begin(), more.end());
  std::string out;
  for (int attempt = 0; attempt < 50; ++attempt, std::this_thread::sleep_for(std::chrono::milliseconds(200)))
    if (RunFleet(args, &out) == 0) return true;
  return ADD_FAILURE() << out, false;
}

}  // namespace

TEST(FleetAccess, UserAndPassword) {
  TemporaryFolder folder;
  NatsCluster server;
  ASSERT_TRUE(server.Start(folder.String(), 1, "authorization { user: fleet, password: \"s3cret pass\" }"));
  std::ofstream(folder.String() + "/right") << "s3cret pass\n";
  std::ofstream(folder.String() + "/wrong") << "guess\n";
  ASSERT_TRUE(SetUpServer(server.Urls(), {"--user", "fleet", "--password-file", folder.String() + "/right"}));
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
  ASSERT_TRUE(SetUpServer(server.Urls("tls"), {"--tls-ca", folder.String() + "/ca.pem"}));
  const Machine& machine = DemoMachines()[0];
  std::string out;
  EXPECT_EQ(RunFleet(Export(server.Urls("tls"), machine, {"--tls-ca", folder.String() + "/ca.pem"}), &out), 0) << out;
  // Without the authority the server's certificate is not trusted.
  EXPECT_EQ(RunFleet(Export(server.Urls("tls"), machine, {}), &out), 1) << out;
  EXPECT_EQ(RunFleet(Export(server.Urls("tls"), machine, {"--tls-ca", folder.String() + "/missing.pem"}), &out), 2) << out;
  EXPECT_NE(out.find("certificate file"), std::string::npos) << out;
}

// Each machine connects with a certificate of its own, mapped to a user whose
// permissions let it publish only on its own subjects: another machine's subject is
// refused, whatever the exporter claims with --machine-id.
TEST(FleetAccess, AMachinesCertificatePublishesOnlyItsOwnSubjects) {
  TemporaryFolder folder;
  const std::string dir = folder.String();
  const std::string a = Fleet::MachineIdOfName("PC-A"), b = Fleet::MachineIdOfName("PC-B");
  ASSERT_TRUE(MakeAuthority(dir) && MakeClient(dir, "operator") && MakeClient(dir, a) && MakeClient(dir, b));
  auto machineUser = [](const std::string& id) {
    return "{ user: \"CN=" + id + "\", permissions: { publish: { allow: [\"brumevale.events." + id +
           "\", \"brumevale.inventory." + id + "\", \"$JS.API.STREAM.INFO.BRUMEVALE\", "
           "\"$JS.API.DIRECT.GET.BRUMEVALE.brumevale.*." + id + "\"] }, subscribe: { allow: [\"_INBOX.>\"] } } }\n";
  };
  NatsCluster server;
  ASSERT_TRUE(server.Start(dir, 1, "tls { cert_file: \"" + dir + "/server.pem\"\n key_file: \"" + dir +
                                       "/server.key\"\n ca_file: \"" + dir + "/ca.pem\"\n verify_and_map: true }\n"
                                       "authorization { users = [\n{ user: \"CN=operator\" }\n" +
                                       machineUser(a) + machineUser(b) + "] }"));
  const std::string urls = server.Urls("tls");
  auto as = [&](const std::string& who) {
    return std::vector<std::string>{"--tls-ca", dir + "/ca.pem", "--tls-cert", dir + "/" + who + ".pem", "--tls-key",
                                    dir + "/" + who + ".key"};
  };
  std::string out;
  std::vector<std::string> setup = {"fleet", "setup", "--server", urls, "--replicas", "1", "--max-bytes", "1G"};
  for (const std::string& arg : as("operator")) setup.push_back(arg);
  ASSERT_EQ(RunFleet(setup, &out), 0) << out;
  const Machine& machine = DemoMachines()[0];
  auto exportAs = [&](const std::string& who, const std::string& id) {
    std::vector<std::string> args = Export(urls, machine, as(who));
    args.insert(args.end(), {"--machine-id", id});
    return RunFleet(args, &out);
  };
  EXPECT_EQ(exportAs(a, a), 0) << out;
  EXPECT_EQ(exportAs(a, b), 1) << out;   // A's certificate, B's subjects: refused at B's cursor already
  EXPECT_NE(out.find("cannot read the stream"), std::string::npos) << out;
  EXPECT_EQ(exportAs(b, b), 0) << out;
  // A second run of A resumes from its own last message; its certificate reads no
  // other machine's.
  EXPECT_EQ(exportAs(a, a), 0) << out;
  Fleet::NatsSettings settings{{urls}, "", "", dir + "/ca.pem", dir + "/" + a + ".pem", dir + "/" + a + ".key"};
  Fleet::JetStreamLink link;
  std::string error;
  ASSERT_TRUE(link.Connect(settings, &error)) << error;
  std::optional<Fleet::StoredMessage> last;
  EXPECT_TRUE(link.LastMessage(Fleet::EventSubject(a), &last, &error) && last) << error;
  EXPECT_FALSE(link.LastMessage(Fleet::EventSubject(b), &last, &error));
  jsPubAck* ack = nullptr;
  EXPECT_NE(js_Publish(&ack, link.Context(), Fleet::EventSubject(b).c_str(), "{}", 2, nullptr, nullptr), NATS_OK);
  jsPubAck_Destroy(ack);
  // The operator's collector finds each machine's events under its own id.
  std::vector<std::string> collect = {"collect", "--server", urls, "--database", FreshDatabase("certs"), "--drain"};
  for (const std::string& arg : as("operator")) collect.push_back(arg);
  ASSERT_EQ(RunFleet(collect, &out), 0) << out;
  for (const std::string& id : {a, b}) EXPECT_EQ(CollectedEventsOfId(collect[4], id), LocalEvents(machine.database));
}
