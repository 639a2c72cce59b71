// frmOrlenta (in progress).
#include "frontend/frmOrlenta.h"
