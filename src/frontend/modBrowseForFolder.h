// modBrowseForFolder (in progress).
#pragma once
