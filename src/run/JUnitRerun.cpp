// Reading JUnit files through MSXML's DOM: a thin adapter that yields the testcases as records,
// and the rerun's choice made from them.
#include "run/JUnitRerun.h"

#include <algorithm>
#include <charconv>

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
constexpr GUID kSaxReaderId = {0xA4F96ED0, 0xF829, 0x476E, {0x81, 0xC0, 0xCD, 0xC7, 0xBD, 0x2A, 0x08, 0x02}};
constexpr GUID kSaxErrorHandlerId = {0xA60511C4, 0xCCF5, 0x479E, {0x98, 0xA3, 0xDC, 0x8D, 0xC5, 0x45, 0xB7, 0xD0}};

constexpr const wchar_t* kOrlentaSuites =
    L"/testsuite[@name='Orlenta' or starts-with(@name, 'Orlenta shard ')]"
    L" | /testsuites/testsuite[@name='Orlenta' or starts-with(@name, 'Orlenta shard ')]";

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
    UniqueBstr query{std::wstring(xpath)};
    ComPtr<IXMLDOMNodeList> nodes;
    Check(node->selectNodes(query.get(), nodes.put()), "the XML parser cannot search the file");
    return nodes;
}

std::string OneLineText(const wchar_t* text) {
    std::string line = WideToUtf8(text == nullptr ? L"" : text);
    std::replace(line.begin(), line.end(), '\r', ' ');
    std::replace(line.begin(), line.end(), '\n', ' ');
    return TrimSpaces(line);
}

std::string NodeText(IXMLDOMNode* node) {
    UniqueBstr text;
    Check(node->get_text(text.put()), "the XML parser cannot read a text");
    return WideToUtf8(text.get() == nullptr ? L"" : text.get());
}

std::string NodeName(IXMLDOMNode* node) {
    UniqueBstr name;
    Check(node->get_nodeName(name.put()), "the XML parser cannot read a name");
    return WideToUtf8(name.get() == nullptr ? L"" : name.get());
}

// The attribute's text; empty when the node has no such attribute.
std::string Attribute(IXMLDOMNode* node, const wchar_t* name) {
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    if (node->get_attributes(attributes.put()) != S_OK || !attributes) {
        return {};
    }
    UniqueBstr key{std::wstring(name)};
    ComPtr<IXMLDOMNode> attribute;
    if (attributes->getNamedItem(key.get(), attribute.put()) != S_OK || !attribute) {
        return {};
    }
    return NodeText(attribute.get());
}

std::optional<double> Number(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? std::optional<double>(value) : std::nullopt;
}

// "line 4, column 3: <reason>", or nothing when the parser says no more than that it failed.
std::string Where(long line, long column, const std::string& reason) {
    if (line <= 0) {
        return {};
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + (reason.empty() ? "" : ": " + reason);
}

// Keeps the first fatal error of a SAX parse, where it was met and why.
class FirstFatalError final : public ISAXErrorHandler {
public:
    HRESULT WINAPI QueryInterface(REFIID id, void** object) override {
        if (IsEqualGUID(id, IID_IUnknown) || IsEqualGUID(id, kSaxErrorHandlerId)) {
            *object = static_cast<ISAXErrorHandler*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the stack of the parse, beyond the reader that holds it.
    ULONG WINAPI AddRef() override { return 2; }
    ULONG WINAPI Release() override { return 1; }
    HRESULT WINAPI error(ISAXLocator* locator, const wchar_t* message, HRESULT) override {
        return fatalError(locator, message, E_FAIL);
    }
    HRESULT WINAPI fatalError(ISAXLocator* locator, const wchar_t* message, HRESULT) override {
        int line = 0;
        int column = 0;
        if (where.empty() && locator != nullptr && SUCCEEDED(locator->getLineNumber(&line)) &&
            SUCCEEDED(locator->getColumnNumber(&column))) {
            where = Where(line, column, OneLineText(message));
        }
        return E_FAIL;  // stops the parse
    }
    HRESULT WINAPI ignorableWarning(ISAXLocator*, const wchar_t*, HRESULT) override { return S_OK; }

    std::string where;
};

// Where the file stops being XML, as the platform's SAX reader sees it: a DOM that cannot say
// (Wine's gives neither line nor reason) is asked again this way.
std::string SaxParseError(const std::wstring& path) {
    FirstFatalError handler;
    for (const wchar_t* progId : {L"Msxml2.SAXXMLReader.6.0", L"Msxml2.SAXXMLReader.3.0"}) {
        CLSID clsid{};
        ComPtr<ISAXXMLReader> reader;
        if (SUCCEEDED(CLSIDFromProgID(progId, &clsid)) &&
            SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kSaxReaderId, reader.put_void())) &&
            SUCCEEDED(reader->putErrorHandler(&handler))) {
            reader->parseURL(path.c_str());
            reader->putErrorHandler(nullptr);
            return handler.where;
        }
    }
    return {};
}

ComPtr<IXMLDOMDocument2> Load(const std::wstring& junitPath) {
    ComPtr<IXMLDOMDocument2> document = CreateDocument();
    document->put_async(VARIANT_FALSE);
    document->put_resolveExternals(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    UniqueVariant property;
    property.get()->vt = VT_BSTR;
    property.get()->bstrVal = SysAllocString(L"XPath");
    UniqueBstr name{std::wstring(L"SelectionLanguage")};
    document->setProperty(name.get(), *property.get());

    UniqueVariant source;
    source.get()->vt = VT_BSTR;
    source.get()->bstrVal = UniqueBstr(junitPath).release();
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (SUCCEEDED(document->load(*source.get(), &loaded)) && loaded == VARIANT_TRUE) {
        return document;
    }
    // Where the parser stopped and why, so that whoever mends the file knows where to look.
    std::string where;
    std::string why;
    ComPtr<IXMLDOMParseError> error;
    if (SUCCEEDED(document->get_parseError(error.put())) && error) {
        long line = 0;
        long column = 0;
        UniqueBstr reason;
        error->get_reason(reason.put());
        why = OneLineText(reason.get());
        if (SUCCEEDED(error->get_line(&line)) && SUCCEEDED(error->get_linepos(&column))) {
            where = Where(line, column, why);
        }
    }
    if (where.empty()) {
        where = SaxParseError(junitPath);
    }
    if (where.empty()) {
        where = why;
    }
    Refuse("it cannot be read as XML" + (where.empty() ? std::string() : " (" + where + ")"));
}

JUnitCaseRecord CaseOf(IXMLDOMNode* testcase, const std::string& suite) {
    JUnitCaseRecord record;
    record.Suite = suite;
    record.ClassName = Attribute(testcase, L"classname");
    record.Name = Attribute(testcase, L"name");
    record.Seconds = Number(Attribute(testcase, L"time"));
    ComPtr<IXMLDOMNode> child;
    for (testcase->get_firstChild(child.put()); child;) {
        DOMNodeType type = NODE_INVALID;
        child->get_nodeType(&type);
        if (type == NODE_ELEMENT) {
            const std::string element = NodeName(child.get());
            const JUnitVerdict verdict = element == "failure" ? JUnitVerdict::Failed
                                         : element == "error" ? JUnitVerdict::Erred
                                         : element == "skipped" ? JUnitVerdict::Skipped
                                                                : JUnitVerdict::Passed;
            if (verdict != JUnitVerdict::Passed && record.Verdict == JUnitVerdict::Passed) {
                record.Verdict = verdict;
                record.Message = Attribute(child.get(), L"message");
            } else if (element == "system-out") {
                record.Output = NodeText(child.get());
            }
        }
        ComPtr<IXMLDOMNode> next;
        if (child->get_nextSibling(next.put()) != S_OK) {
            break;
        }
        child = std::move(next);
    }
    return record;
}

bool IsRunCase(const JUnitCaseRecord& record) { return record.ClassName == "Orlenta" && record.Name == "run"; }

}  // namespace

std::vector<JUnitCaseRecord> ReadOrlentaJUnit(const std::wstring& junitPath) {
    const ComPtr<IXMLDOMDocument2> document = Load(junitPath);
    const ComPtr<IXMLDOMNodeList> suites = Select(document.get(), kOrlentaSuites);
    std::vector<JUnitCaseRecord> records;
    bool orlentas = false;
    ComPtr<IXMLDOMNode> suite;
    while (suites->nextNode(suite.put()) == S_OK && suite) {
        orlentas = true;
        const std::string name = Attribute(suite.get(), L"name");
        const size_t first = records.size();
        const ComPtr<IXMLDOMNodeList> testcases = Select(suite.get(), L"testcase");
        ComPtr<IXMLDOMNode> testcase;
        while (testcases->nextNode(testcase.put()) == S_OK && testcase) {
            records.push_back(CaseOf(testcase.get(), name));
        }
        // A run that did not finish did not run the AVEs it skipped; one that went through skipped
        // them on purpose.
        const bool finished = std::none_of(records.begin() + first, records.end(), [](const JUnitCaseRecord& r) {
            return IsRunCase(r) && r.Verdict == JUnitVerdict::Erred;
        });
        for (auto record = records.begin() + first; record != records.end(); ++record) {
            record->RunFinished = finished;
            if (!finished && record->Verdict == JUnitVerdict::Skipped) {
                record->Verdict = JUnitVerdict::NotRun;
            }
        }
    }
    if (!orlentas) {
        Refuse("it holds no testsuite that Orlenta wrote");
    }
    return records;
}

AveDurations JUnitTimingsOf(const std::wstring& junitPath) {
    AveDurations durations;
    for (const JUnitCaseRecord& testcase : ReadOrlentaJUnit(junitPath)) {
        const bool ran = testcase.Verdict == JUnitVerdict::Passed || testcase.Verdict == JUnitVerdict::Failed ||
                         testcase.Verdict == JUnitVerdict::Erred;
        if (testcase.ClassName != "AVE" || !ran || !testcase.Seconds) {
            continue;
        }
        if (const auto number = AveNumberOfName(testcase.Name)) {
            durations[*number] = *testcase.Seconds;
        }
    }
    return durations;
}

std::vector<std::int32_t> AvesToRerunOf(const std::wstring& junitPath) {
    std::vector<std::int32_t> numbers;
    const auto tooMany = [](std::int64_t count) {
        Refuse("it names more AVEs not run than a rerun takes (" + std::to_string(count) + "; at most " +
               std::to_string(kMostListedAves) + ")");
    };
    for (const JUnitCaseRecord& record : ReadOrlentaJUnit(junitPath)) {
        const JUnitVerdict verdict = record.Verdict;
        if (record.ClassName != "AVE" ||
            (verdict != JUnitVerdict::Failed && verdict != JUnitVerdict::Erred && verdict != JUnitVerdict::NotRun)) {
            continue;
        }
        if (const auto number = AveNumberOfName(record.Name)) {
            numbers.push_back(*number);
            continue;
        }
        if (verdict != JUnitVerdict::NotRun) {
            Refuse("its testcase \"" + record.Name + "\" names no AVE");
        }
        // AVEs folded into one testcase: its output lists them, unless they are too many for that.
        const std::string& count = record.Message;
        std::int64_t folded = 0;
        std::from_chars(count.data(), count.data() + count.size(), folded);
        if (folded > kMostListedAves) {
            tooMany(folded);
        }
        const AveListReading list = ReadAveList(TrimSpaces(record.Output));
        if (!list.Problem.empty()) {
            Refuse("its testcase \"" + record.Name + "\" does not list the AVEs it stands for" +
                   (record.Output.empty() ? "" : " (" + list.Problem + ")"));
        }
        numbers.insert(numbers.end(), list.Numbers.begin(), list.Numbers.end());
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    if (static_cast<std::int64_t>(numbers.size()) > kMostListedAves) {
        tooMany(static_cast<std::int64_t>(numbers.size()));
    }
    return numbers;
}

}  // namespace orlenta
