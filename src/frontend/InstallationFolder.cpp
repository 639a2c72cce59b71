// InstallationFolder (in progress).
#include "frontend/InstallationFolder.h"
