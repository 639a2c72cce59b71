// Reading the failed AVEs of a JUnit file through MSXML's DOM and XPath.
#include "run/JUnitRerun.h"

#include <algorithm>

#include <windows.h>
#include <msxml2.h>

#include "run/AveChoice.h"
#include "util/AppError.h"
#include "util/AppPaths.h"
#include "util/ComPtr.h"
#include "util/Text.h"

namespace orlenta {

namespace {

// MinGW declares these interfaces but ships no library that defines their ids.
constexpr GUID kXmlDocument2Id = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

constexpr const wchar_t* kOrlentaSuites =
    L"/testsuite[@name='Orlenta' or starts-with(@name, 'Orlenta shard ')]"
    L" | /testsuites/testsuite[@name='Orlenta' or starts-with(@name, 'Orlenta shard ')]";
constexpr const wchar_t* kFailedNames = L"testcase[@classname='AVE'][failure or error]/@name";

[[noreturn]] void Refuse(const std::string& why) { throw AppError(error_number::kInvalidArgument, ProgramName(), why); }

void Check(HRESULT hr, const char* what) {
    if (FAILED(hr)) {
        Refuse(std::string(what) + ": " + SystemMessage(static_cast<DWORD>(hr)));
    }
}

ComPtr<IXMLDOMDocument2> CreateDocument() {
    ComPtr<IXMLDOMDocument2> document;
    for (const wchar_t* progId : {L"Msxml2.DOMDocument.6.0", L"Msxml2.DOMDocument.3.0"}) {
        CLSID clsid{};
        if (SUCCEEDED(CLSIDFromProgID(progId, &clsid)) &&
            SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kXmlDocument2Id, document.put_void()))) {
            return document;
        }
    }
    Refuse("no XML parser (MSXML) is available");
}

ComPtr<IXMLDOMNodeList> Select(IXMLDOMNode* node, const wchar_t* xpath) {
    BSTR query = SysAllocString(xpath);
    ComPtr<IXMLDOMNodeList> nodes;
    const HRESULT hr = node->selectNodes(query, nodes.put());
    SysFreeString(query);
    Check(hr, "the XML parser cannot search the file");
    return nodes;
}

std::string NodeText(IXMLDOMNode* node) {
    UniqueBstr text;
    Check(node->get_text(text.put()), "the XML parser cannot read a name");
    return WideToUtf8(text.get() == nullptr ? L"" : text.get());
}

}  // namespace

std::vector<std::int32_t> FailedAvesOf(const std::wstring& junitPath) {
    const ComPtr<IXMLDOMDocument2> document = CreateDocument();
    document->put_async(VARIANT_FALSE);
    document->put_resolveExternals(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    UniqueVariant property;
    property.get()->vt = VT_BSTR;
    property.get()->bstrVal = SysAllocString(L"XPath");
    BSTR name = SysAllocString(L"SelectionLanguage");
    document->setProperty(name, *property.get());
    SysFreeString(name);

    UniqueVariant source;
    source.get()->vt = VT_BSTR;
    source.get()->bstrVal = UniqueBstr(junitPath).release();
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (FAILED(document->load(*source.get(), &loaded)) || loaded != VARIANT_TRUE) {
        std::string reason;
        ComPtr<IXMLDOMParseError> error;
        UniqueBstr text;
        if (SUCCEEDED(document->get_parseError(error.put())) && error && SUCCEEDED(error->get_reason(text.put())) &&
            text.get() != nullptr) {
            reason = TrimSpaces(WideToUtf8(text.get()));
            std::replace(reason.begin(), reason.end(), '\r', ' ');
            std::replace(reason.begin(), reason.end(), '\n', ' ');
        }
        Refuse("it cannot be read as XML" + (reason.empty() ? std::string() : " (" + reason + ")"));
    }

    const ComPtr<IXMLDOMNodeList> suites = Select(document.get(), kOrlentaSuites);
    std::vector<std::int32_t> numbers;
    bool orlentas = false;
    ComPtr<IXMLDOMNode> suite;
    while (suites->nextNode(suite.put()) == S_OK && suite) {
        orlentas = true;
        const ComPtr<IXMLDOMNodeList> names = Select(suite.get(), kFailedNames);
        ComPtr<IXMLDOMNode> nameNode;
        while (names->nextNode(nameNode.put()) == S_OK && nameNode) {
            const std::string testcase = NodeText(nameNode.get());
            const auto number = AveNumberOfName(testcase);
            if (!number) {
                Refuse("its testcase \"" + testcase + "\" names no AVE");
            }
            numbers.push_back(*number);
        }
    }
    if (!orlentas) {
        Refuse("it holds no testsuite that Orlenta wrote");
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

}  // namespace orlenta
