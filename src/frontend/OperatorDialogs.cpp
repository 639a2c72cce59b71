// OperatorDialogs (in progress).
#include "frontend/OperatorDialogs.h"
