#pragma once
// Load points that name a COM class or a shared service host do not name the file
// that runs. These routines follow that indirection: the class's server under
// HKEY_CLASSES_ROOT, and whether a service image is the service host.

#include <cstdint>
#include <string>

namespace Ledger {
class LedgerContext;
}  // namespace Ledger

namespace Families {

// Looks the class (a CLSID text or a ProgID) up under HKEY_CLASSES_ROOT. 1 when a
// server was found (outName the class's name, outServer its server path), else 0.
int32_t ResolveClass(Ledger::LedgerContext& context, const std::u16string& classText,
                     std::u16string& outName, std::u16string& outServer, bool wow64);

// Writes name and server into the Indirection row; 1 on success.
int32_t UpdateIndirection(Ledger::LedgerContext& context, int32_t indirectionKey,
                          const std::u16string& name, const std::u16string& server);

// 1 when imagePath runs the service host with a "-k" group that lists serviceName.
int32_t IsServiceHostMember(Ledger::LedgerContext& context, const std::u16string& serviceName,
                            const std::u16string& imagePath, bool wow64);

// Resolves classText, stores the result in the Indirection row and watches the
// class's server keys under matcherCode.
void RefreshIndirection(Ledger::LedgerContext& context, const std::u16string& classText,
                        int32_t loadPointKey, int32_t indirectionKey, uint32_t matcherCode,
                        bool wow64);

}  // namespace Families
