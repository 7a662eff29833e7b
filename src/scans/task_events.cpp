// Placeholder: task-cache changes record nothing live yet.
#include "engine/load_point_handlers.h"

void HandleTaskCacheEvent(LoadPointEngine&, const BrumevaleRegistryEvent&, ChangeRecords&) {}
