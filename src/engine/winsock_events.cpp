// Placeholder: the Winsock catalog families record nothing live yet.
#include "engine/load_point_handlers.h"

void HandleNameSpaceCatalogEvent(LoadPointEngine&, const BrumevaleRegistryEvent&, ChangeRecords&) {}
void HandleProtocolCatalogEvent(LoadPointEngine&, const BrumevaleRegistryEvent&, ChangeRecords&) {}
