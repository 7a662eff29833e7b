// What the file-extension check watches: the command of executable files, for the
// extension ".exe" and for its program identifier "exefile" (the extension's own
// default value only names the identifier), below "SOFTWARE\Classes" for the machine
// and at the top of every user's classes hive.

#include "families/file_extensions/file_extensions.h"

using enum Intake::MatcherCode;
using enum Intake::RegistryRootKind;

namespace Families {

namespace {

constexpr auto M = kRootMachine;
constexpr auto C = kRootUserClasses;

constexpr WatchedValue kWatched[] = {
    {kExtensionDefaultCode, M, u"SOFTWARE\\Classes\\.exe", u""},
    {kExtensionShellCode, M, u"SOFTWARE\\Classes\\.exe\\shell", u""},
    {kVerbCommandCode, M, u"SOFTWARE\\Classes\\.exe\\shell\\*\\command", u""},
    {kExtensionDefaultCode, C, u".exe", u""},
    {kExtensionShellCode, C, u".exe\\shell", u""},
    {kVerbCommandCode, C, u".exe\\shell\\*\\command", u""},
    {kExtensionShellCode, M, u"SOFTWARE\\Classes\\exefile\\shell", u""},
    {kVerbCommandCode, M, u"SOFTWARE\\Classes\\exefile\\shell\\*\\command", u""},
    {kExtensionShellCode, C, u"exefile\\shell", u""},
    {kVerbCommandCode, C, u"exefile\\shell\\*\\command", u""},
};

// The extension's own key, and every verb of its identifier.
constexpr CheckedClassKey kCheckedKeys[] = {{u".exe", false}, {u"exefile\\shell", true}};

}  // namespace

std::span<const WatchedValue> FileExtensionWatches() { return kWatched; }
std::span<const CheckedClassKey> FileExtensionCheckedKeys() { return kCheckedKeys; }

}  // namespace Families
