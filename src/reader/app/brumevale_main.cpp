// brumevale on Linux: reads a Brumevale.data copied from a machine. There is no
// service here, so the file must be named, and the files the load points start are
// not at hand (brumevale-sim inventory IMAGE --verify checks a machine image's).

#include <iostream>

#include "reader/reader_commands.h"
#include "reader/reader_options.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  Reader::ReaderHost host;
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << Reader::ReaderUsage(host.programName);
    return 0;
  }
  host.verifyHint =
      "--verify and --hide-signed-by check the files on the machine itself: run brumevale.exe there, "
      "or brumevale-sim inventory IMAGE --verify for a machine image";
  const int code = Reader::RunReader(args, host, std::cout, std::cerr);
  std::cout.flush();
  return code;
}
