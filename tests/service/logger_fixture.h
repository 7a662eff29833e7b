#pragma once
// A machine with the logger's program registered at its program folder, a console
// process to run it from, and readers for what the logger leaves behind: its log
// files on the host folder and its registry entries.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "platform/emulated/processes/process_control.h"
#include "platform/emulated/processes/program_table.h"
#include "platform/emulated/services/service_registry.h"
#include "platform/emulated/services/service_store.h"
#include "platform/scoped_handle.h"
#include "service/logger_process.h"
#include "util/util_machine.h"

namespace ServiceTest {

inline constexpr char16_t kProgramFolder[] = u"C:\\Program Files\\Kelvra\\Brumevale";
inline constexpr char16_t kProgramImage[] = u"C:\\Program Files\\Kelvra\\Brumevale\\BrumevaleLogger.exe";

class LoggerTest : public UtilTest::MachineTest {
 protected:
  LoggerTest() {
    Emulated::RegisterProgram(machine_, kProgramImage,
                              [this](Platform::System& system, const auto& args) {
                                Service::LoggerProcess process(system, serviceOutput_);
                                if (prepare_) prepare_(process);
                                return process.Run(args);
                              });
  }

  // Runs the program from a console in folder, as an administrator would.
  int RunFromConsole(std::vector<std::u16string> args, std::u16string folder = kProgramFolder) {
    Emulated::ProcessLaunch launch{{4, 0}, kProgramImage, u"S-1-5-18"};
    launch.currentDirectory = std::move(folder);
    return Emulated::RunProgram(machine_, launch, args);
  }

  // The console's own process, to reach the manager as a tool would.
  Platform::System& Console() {
    if (console_ == 0) {
      console_ = Emulated::StartProcess(
          machine_, {{4, 0}, u"C:\\Windows\\System32\\cmd.exe", u"S-1-5-18"});
    }
    return machine_.Process(console_);
  }

  // A log file of the logger's log folder, decoded; empty when missing.
  std::u16string ReadLog(const std::string& name) {
    for (const auto& item : std::filesystem::recursive_directory_iterator(HostFolder())) {
      if (item.path().filename() != name) continue;
      std::ifstream file(item.path(), std::ios::binary);
      const std::string bytes{std::istreambuf_iterator<char>(file), {}};
      std::u16string text;
      for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                             (static_cast<uint8_t>(bytes[i + 1]) << 8)));
      }
      return text;
    }
    return u"";
  }

  std::optional<Emulated::ServiceEntry> Entry(std::u16string_view name) {
    return Emulated::ReadServiceEntry(machine_.RegistryState(), name);
  }
  Emulated::ServiceStore& Store() { return machine_.Services(); }

  // Runs on the service's process object before its entry starts.
  std::function<void(Service::LoggerProcess&)> prepare_;
  uint32_t console_ = 0;
  // What the logger's processes print on their console.
  std::ostringstream serviceOutput_;
};

}  // namespace ServiceTest
