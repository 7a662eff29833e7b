#pragma once
// Real Windows executables that the test set-up fetched from Debian packages
// (scripts/fetch_test_pe.sh, run by CTest before the suites that need them).
// A suite using them is declared with brumevale_uses_test_pe in CMake.

#include <filesystem>
#include <string>

// The fetched file's host path, or empty when the fetch has not happened.
inline std::string TestPeFile(const std::string& relative) {
  const std::filesystem::path path = std::filesystem::path(BRUMEVALE_TEST_PE_DIR) / "root" / relative;
  return std::filesystem::exists(path) ? path.string() : std::string();
}

inline constexpr char kTestPeZlib32[] = "usr/i686-w64-mingw32/lib/zlib1.dll";
inline constexpr char kTestPeZlib64[] = "usr/x86_64-w64-mingw32/lib/zlib1.dll";
inline constexpr char kTestPeNoVersion[] = "usr/share/nsis/Stubs/zlib-x86-unicode";
inline constexpr char kTestPeLoader[] = "usr/share/win32/win32-loader.exe";  // has a CompanyName

// Skips the test when the file is missing, saying how to get it.
#define REQUIRE_TEST_PE(variable, relative)                                                        \
  const std::string variable = TestPeFile(relative);                                               \
  if (variable.empty())                                                                            \
    GTEST_SKIP() << relative << " not fetched: run scripts/fetch_test_pe.sh " << BRUMEVALE_TEST_PE_DIR \
                 << " (needs the Debian archive)"
