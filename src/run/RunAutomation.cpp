// RunAutomation.
#include "run/RunAutomation.h"
