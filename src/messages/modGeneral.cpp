// Showing catalogue messages.
#include "messages/modGeneral.h"

namespace orlenta {

void ShowMessage(const std::string& sKey, const std::string& sTitle) {
    ShowMessage(sKey, sTitle, DefaultCatalogueHost());
}

void ShowMessage(const std::string& sKey, const std::string& sTitle, const MessageCatalogueHost& host) {
    clsMessageRecordset catalogue(host);
    const std::string text = catalogue.GetMessage(sKey);
    if (!text.empty()) {
        host.messageBox(text, sTitle);
    } else {
        host.messageBox("Could not find message: " + sKey + ", in the mesage database.", kApplicationTitle);
    }
}

}  // namespace orlenta
