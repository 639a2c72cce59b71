// cRegistry's file-type association: document classes and their shell verbs under both roots.
#include <exception>

#include "registry/cRegistry.h"
#include "util/AppError.h"
#include "util/Text.h"

namespace orlenta {

namespace {

// The program path enclosed in double quotes, unless it already starts or ends with one.
std::string QuoteProgramPath(const std::string& exePath) {
    std::string path = TrimSpaces(exePath);
    if (path.empty() || path.front() != '"') {
        path.insert(path.begin(), '"');
    }
    if (path.back() != '"') {
        path.push_back('"');
    }
    return path;
}

// One shell verb: its key below "shell", its menu text and the arguments behind the program path.
struct Verb {
    bool written;
    const char* key;
    std::string menuText;
    std::string defaultMenuText;
    const char* arguments;
};

}  // namespace

void cRegistry::SetClassValue(const std::string& text) {
    ClassKey(registry_root::kClassesRoot);
    value(text);
    const std::string section = sectionKey_;
    ClassKey(registry_root::kLocalMachine);
    SectionKey("SOFTWARE\\Classes\\" + section);
    value(text);
    SectionKey(section);
}

void cRegistry::CreateEXEAssociation(std::string sExePath, std::string sClassName, std::string sClassDescription,
                                     std::string sAssociation, std::string sOpenMenuText, bool bSupportPrint,
                                     std::string sPrintMenuText, bool bSupportNew, std::string sNewMenuText,
                                     bool bSupportInstall, std::string sInstallMenuText, long lDefaultIconIndex) {
    // An empty class name would put the description into the root of the classes tree, and an empty
    // program path makes no command: both are refused before anything is written.
    if (sClassName.empty()) {
        throw AppError(error_number::kInvalidArgument, Source(), "Empty class name passed to CreateEXEAssociation");
    }
    if (TrimSpaces(sExePath).empty()) {
        throw AppError(error_number::kInvalidArgument, Source(), "Empty program path passed to CreateEXEAssociation");
    }
    const std::string program = QuoteProgramPath(sExePath);
    const auto write = [this](const std::string& section, const std::string& text) {
        SectionKey(section);
        ValueKey("");
        SetClassValue(text);
    };

    ValueType(REG_SZ);
    write("." + sAssociation, sClassName);
    write(sClassName, sClassDescription);

    // The install verb's key is "add", and its block comes before the new verb's.
    const Verb verbs[] = {
        {true, "open", sOpenMenuText, "&Open", " \"%1\""},
        {bSupportPrint, "print", sPrintMenuText, "&Print", " /p \"%1\""},
        {bSupportInstall, "add", sInstallMenuText, "&Install " + sAssociation, " /a \"%1\""},
        {bSupportNew, "new", sNewMenuText, "&New", " /n \"%1\""},
    };
    for (const Verb& verb : verbs) {
        if (!verb.written) {
            continue;
        }
        const std::string verbKey = sClassName + "\\shell\\" + verb.key;
        write(verbKey, verb.menuText.empty() ? verb.defaultMenuText : verb.menuText);
        write(verbKey + "\\command", program + verb.arguments);
    }
    if (lDefaultIconIndex > -1) {
        write(sClassName + "\\DefaultIcon", program + "," + std::to_string(lDefaultIconIndex));
    }
}

void cRegistry::CreateAdditionalEXEAssociations(std::string sClassName,
                                                const std::optional<std::vector<RegistryValue>>& vItems) noexcept {
    associationError_ = {};
    const auto record = [this](long number, std::string description) {
        try {
            associationError_ = {number, Source(), std::move(description)};
        } catch (...) {
            associationError_ = {number, {}, {}};
        }
    };
    try {
        if (!vItems || vItems->size() % 3 != 0) {
            record(registry_error::kInvalidParameterList,
                   "Invalid parameter list passed to CreateAdditionalEXEAssociations - expected Name/Text/Command");
            return;
        }
        // With an empty class name the test below would find the root itself.
        if (sClassName.empty()) {
            record(error_number::kInvalidArgument, "Empty class name passed to CreateAdditionalEXEAssociations");
            return;
        }
        SectionKey(sClassName);
        if (!KeyExists()) {
            record(registry_error::kClassNotDefined,
                   "Error - attempt to create additional associations before class defined.");
            return;
        }
        const auto write = [&](const std::string& section, const std::string& text) {
            ValueKey("");
            SectionKey(section);
            try {
                SetClassValue(text);
            } catch (const AppError& error) {
                associationError_ = {error.Number(), error.Source(), error.Description()};
            }
        };
        const std::vector<RegistryValue>& items = *vItems;
        for (std::size_t i = 0; i + 2 < items.size(); i += 3) {
            // A byte array is no name or menu text: the whole triple is passed over, nothing written.
            if (items[i].Bytes() != nullptr || items[i + 1].Bytes() != nullptr || items[i + 2].Bytes() != nullptr) {
                record(error_number::kTypeMismatch, "Type mismatch");
                continue;
            }
            // An empty name would make the text the class's default verb and its command a stray key.
            const std::string name = items[i].ToText();
            if (name.empty()) {
                record(error_number::kInvalidArgument,
                       "Empty verb name passed to CreateAdditionalEXEAssociations");
                continue;
            }
            ValueType(REG_SZ);
            const std::string verbKey = sClassName + "\\shell\\" + name;
            write(verbKey, items[i + 1].ToText());
            write(verbKey + "\\command", items[i + 2].ToText());
        }
    } catch (const std::exception&) {
        // Only memory can run out here; the call reports it instead of throwing.
        record(7, "Out of memory");
    }
}

}  // namespace orlenta
