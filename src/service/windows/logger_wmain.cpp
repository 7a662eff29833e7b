// The Windows process entry: the one Win32 system of the process, the arguments
// after the program name, and the core's entry.

#include <iostream>
#include <string>
#include <vector>

#include "platform/win32/win32_system.h"
#include "service/logger_process.h"

using Service::BrumevaleLoggerMain;

int wmain(int argc, wchar_t** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view arg(argv[i]);
    args.emplace_back(arg.begin(), arg.end());
  }
  Win32::System system;
  return BrumevaleLoggerMain(system, args, std::cout);
}
