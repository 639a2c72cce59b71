// Showing catalogue messages.
#pragma once

#include <string>

#include "messages/clsMessageRecordset.h"

namespace orlenta {

// Looks the key up in a catalogue opened for this one message and shows its text with the title as the
// caption, or a "Could not find message" box. The catalogue's errors pass to the caller, with no box.
void ShowMessage(const std::string& sKey, const std::string& sTitle);
void ShowMessage(const std::string& sKey, const std::string& sTitle, const MessageCatalogueHost& host);

}  // namespace orlenta
