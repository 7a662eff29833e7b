#include "platform/emulated/machine/process_view.h"

namespace Emulated {

ProcessView::ProcessView(Machine& machine, ViewContext context)
    : registry_(machine, context),
      files_(machine, context),
      environment_(machine, context),
      objects_(machine, context),
      processes_(machine, context),
      services_(machine, context),
      filterPort_(machine, context),
      trust_(machine, registry_),
      versionInfo_(machine, files_) {}

}  // namespace Emulated
