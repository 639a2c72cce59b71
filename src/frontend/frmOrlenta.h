// frmOrlenta (in progress).
#pragma once
