// Showing catalogue messages.
#include "messages/modGeneral.h"
