// ScriptShell.
#include "run/ScriptShell.h"
