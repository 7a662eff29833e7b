// brumevale.exe: reads the service's own database when no file is named, shows the
// computer's name for it, and checks the files of the load points with the same
// trust functions the service uses. export is here when the build found the NATS
// client's archive; collect and fleet need PostgreSQL's client, built for Linux only.

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#ifdef BRUMEVALE_WINDOWS_FLEET
#include "fleet/windows/export_windows.h"
#include "fleet/commands/fleet_cli.h"
#endif
#include "platform/text_encoding.h"
#include "platform/win32/win32_system.h"
#include "reader/inventory/file_check.h"
#include "reader/record/own_machine.h"
#include "reader/commands/reader_commands.h"
#include "reader/commands/reader_options.h"

namespace {

#ifdef BRUMEVALE_WINDOWS_FLEET
constexpr bool kExport = true;
constexpr char kFleetElsewhere[] = "collect and fleet are not in the Windows build: run them with the Linux brumevale";
#else
constexpr bool kExport = false;
constexpr char kFleetElsewhere[] =
    "export, collect and fleet are not in the Windows build: run them with the Linux brumevale "
    "(export a copy of the record with --machine NAME)";
#endif

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view arg(argv[i]);
    args.push_back(Platform::Utf16ToUtf8(std::u16string(arg.begin(), arg.end())));
  }
  // The outputs are UTF-8 and CSV rows end in CRLF already: no translation.
  _setmode(_fileno(stdout), _O_BINARY);
  Win32::System system;
  Reader::ReaderHost host;
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "/?")) {
    std::cout << Reader::ReaderUsage("brumevale");
#ifdef BRUMEVALE_WINDOWS_FLEET
    std::cout << Fleet::FleetUsage("brumevale", false);
#endif
    std::cout << "       " << kFleetElsewhere << "\n";
    return 0;
  }
#ifdef BRUMEVALE_WINDOWS_FLEET
  if (!args.empty() && args[0] == "export") return Fleet::RunWindowsExport(args, std::cerr);
#endif
  if (!args.empty() && ((args[0] == "export" && !kExport) || args[0] == "collect" || args[0] == "fleet")) {
    std::cerr << "brumevale " << args[0] << ": " << kFleetElsewhere << "\n";
    return Reader::kExitBadInput;
  }
  host.ownDatabase = Platform::Utf16ToUtf8(Reader::ServiceDatabasePath(system));
  host.computerName = Platform::Utf16ToUtf8(Reader::MachineName(system));
  host.accounts = Reader::MachineAccounts(system);
  std::unique_ptr<Reader::FileChecker> checker;
  host.checkFile = [&](const std::string& commandLine) {
    if (!checker) checker = std::make_unique<Reader::FileChecker>(system);
    return checker->Check(commandLine);
  };
  const int code = Reader::RunReader(args, host, std::cout, std::cerr);
  std::cout.flush();
  return code;
}
