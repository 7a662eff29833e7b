// Placeholder: Active Setup and browser extensions record nothing live yet.
#include "engine/load_point_handlers.h"

void HandleActiveSetupEvent(LoadPointEngine&, const BrumevaleRegistryEvent&, ChangeRecords&) {}
void HandleBrowserExtensionEvent(LoadPointEngine&, const BrumevaleRegistryEvent&, ChangeRecords&) {}
