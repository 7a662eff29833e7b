#pragma once
// Where Wine, which runs the Win32 backend's suites on Linux, departs from what
// Windows documents. The contract stays as Windows behaves: such a case is skipped
// under Wine only, with the Windows behaviour named, and runs on every other backend.
// A backend fixture that may run under Wine has `bool UnderWine() const`.

#include <gtest/gtest.h>

namespace ContractSupport {

template <typename Backend>
bool UnderWine(const Backend& backend) {
  if constexpr (requires { backend.UnderWine(); }) {
    return backend.UnderWine();
  } else {
    return false;
  }
}

}  // namespace ContractSupport

#define SKIP_WHERE_WINE_DIFFERS(backend, windowsBehaviour)                           \
  if (ContractSupport::UnderWine(backend))                                           \
  GTEST_SKIP() << "Wine differs from Windows here. Windows: " << (windowsBehaviour)
