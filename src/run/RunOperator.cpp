// RunOperator.
#include "run/RunOperator.h"
