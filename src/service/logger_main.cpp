// The process entry: settings first, then what the command line asks for.

#include "service/logger_process.h"
#include "service/data_file_guard.h"
#include "service/service_install.h"

namespace Service {

using namespace Platform;

namespace {

constexpr uint32_t kModuleNameCapacity = 260;

// The folder the running program lives in: its full path without the file name.
// Empty when the path cannot be read.
std::u16string ProgramDirectory(Platform::System& system) {
  std::u16string module;
  if (system.Environment().GetModuleFileName(kModuleNameCapacity, &module) != kErrorSuccess) return u"";
  const size_t separator = module.rfind(u'\\');
  return separator == std::u16string::npos ? u"" : module.substr(0, separator);
}

}  // namespace

bool LoggerProcess::DriverFilePresent() {
  FileAttributeData data;
  return system_.Files().GetFileAttributesEx(settings_.ProgramPath() + u"\\BrumevaleLookout.sys",
                                             &data) == kErrorSuccess &&
         (data.attributes & kFileAttributeDirectory) == 0;
}

int BrumevaleLoggerMain(Platform::System& system, const std::vector<std::u16string>& args,
                        std::ostream& console) {
  LoggerProcess process(system, console);
  return process.Run(args);
}

// Settings are saved after a service run and after "-i" (the service needs the
// program path that "-i" records); "-r" and unknown arguments leave them as loaded.
int LoggerProcess::Run(const std::vector<std::u16string>& args) {
  const std::vector<ServiceTableEntry> table{
      {kServiceName, [this](const std::vector<std::u16string>&) { ServiceMain(); }}};
  driveMap_.Initialise();
  settings_.InitialiseProduct();
  settings_.Load(false);
  if (args.empty()) {
    system_.Services().StartServiceCtrlDispatcher(table);
    settings_.Save(false);
  } else if (args[0] == u"-i") {
    // "-i driver": a package installer registers the service itself and runs this
    // for the rest (the driver, its minifilter values, the program path).
    Install(args.size() < 2 || args[1] != u"driver");
    // The installer runs elevated: the moment to close folders an earlier version
    // left open, logged after the installation's own lines.
    GuardDataFiles(system_, settings_, serviceLog_);
    settings_.Save(false);
  } else if (args[0] == u"-r") {
    if (args.size() < 2 || args[1] != u"driver") RemoveService(system_);
    RemoveDriver(system_);
  }
  return 0;
}

// The program path is the running program's own folder, not the current directory
// the installer was started from: an elevated prompt starts in System32, where the
// driver would never be found, and a user-writable current directory would let
// anyone choose the driver file the kernel loads.
void LoggerProcess::Install(bool withService) {
  const std::u16string directory = ProgramDirectory(system_);
  serviceLog_.Open(settings_.LogDirectory() + kInstallLogName, 1);
  settings_.SetProgramPath(directory);
  serviceLog_.Write(u"Working Directory: ", 0, 0, 0);
  serviceLog_.Write(settings_.ProgramPath(), 1, 0, 0);
  if (withService && !InstallService(system_)) {
    serviceLog_.Write(u"Service Install: FAILED", 1, 0, 0);
    return;
  }
  if (withService) serviceLog_.Write(u"Service Install: SUCCESS", 1, 0, 0);
  if (InstallDriver(system_, settings_.ProgramPath())) {
    serviceLog_.Write(u"Driver Install: SUCCESS", 1, 0, 0);
    // Registered all the same, so that a driver file copied in later is used.
    if (!DriverFilePresent()) {
      serviceLog_.Write(u"Driver file BrumevaleLookout.sys is not in the program folder: the "
                        u"service will run without the driver.", 1, 0, 0);
    }
    // Covers a driver entry left from an earlier installation.
    WriteMinifilterRegistration(system_);
  } else {
    serviceLog_.Write(u"Driver Install: FAILED", 1, 0, 0);
    if (withService) RemoveService(system_);
  }
}

}  // namespace Service
