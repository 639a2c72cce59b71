// Resource numbers shared by Orlenta.rc and the window.
#pragma once

#define IDI_ORLENTA 101
