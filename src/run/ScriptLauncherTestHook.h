// For tests only: a pass whose script process never ends, as one stuck in I/O that cannot be
// cancelled would be, without having to make such a process.
#pragma once

#include <windows.h>

namespace orlenta::test_hooks {

// The launcher waits for `neverEnds` (an event nobody sets, say) in place of each pass's script
// process, and gives a pass it ended `endWaitMs` to go instead of its usual bound; a null handle
// removes it. Not thread-safe.
void SetPassProcessStandIn(HANDLE neverEnds, DWORD endWaitMs);

}  // namespace orlenta::test_hooks
