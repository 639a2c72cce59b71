// Finding the analysis product's installation folder from its type-library registration.
#pragma once

#include <string>

namespace orlenta {

// The folder that holds the registered type library, without a trailing backslash;
// "C:\Program Files\KAVRO" when nothing is registered, empty when the registered file is gone.
std::string FindInstallationFolder();

// The path with every component below the drive root in the name and case stored on disk;
// empty when a component can't be found. The drive letter keeps the case it was given.
std::string GetLongPath(const std::string& path);

// The part before the last backslash, or up to and including the last colon if that comes later;
// empty when there is neither.
std::string GetParentFolder(const std::string& path);

}  // namespace orlenta
