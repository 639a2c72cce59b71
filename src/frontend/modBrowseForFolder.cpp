// modBrowseForFolder (in progress).
#include "frontend/modBrowseForFolder.h"
