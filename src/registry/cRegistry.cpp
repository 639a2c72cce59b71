// Registry key and value access.
#include "registry/cRegistry.h"
