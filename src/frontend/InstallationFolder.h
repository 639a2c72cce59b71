// InstallationFolder (in progress).
#pragma once
