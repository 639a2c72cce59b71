// The JUnit schema of the end-to-end tests, and its check by the platform's validating parser.
#include "run/UnattendedFixture.h"

#include <msxml2.h>
#include <objbase.h>

#include "util/ComPtr.h"

namespace orlenta::test {

namespace {

// JUnit as CI servers read it: one testsuite with its counts, properties, and testcases that each
// hold at most one failure, error or skipped.
constexpr const char* kJUnitSchema = R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">
  <xs:complexType name="outcome">
    <xs:simpleContent><xs:extension base="xs:string">
      <xs:attribute name="message" type="xs:string"/><xs:attribute name="type" type="xs:string"/>
    </xs:extension></xs:simpleContent>
  </xs:complexType>
  <xs:element name="testsuite"><xs:complexType>
    <xs:sequence>
      <xs:element name="properties" minOccurs="0"><xs:complexType><xs:sequence>
        <xs:element name="property" minOccurs="0" maxOccurs="unbounded"><xs:complexType>
          <xs:attribute name="name" type="xs:string" use="required"/>
          <xs:attribute name="value" type="xs:string" use="required"/>
        </xs:complexType></xs:element>
      </xs:sequence></xs:complexType></xs:element>
      <xs:element name="testcase" minOccurs="0" maxOccurs="unbounded"><xs:complexType><xs:sequence>
        <xs:choice minOccurs="0">
          <xs:element name="failure" type="outcome"/><xs:element name="error" type="outcome"/>
          <xs:element name="skipped" type="outcome"/>
        </xs:choice>
        <xs:element name="flakyFailure" type="outcome" minOccurs="0" maxOccurs="unbounded"/>
        <xs:element name="system-out" type="xs:string" minOccurs="0"/>
      </xs:sequence>
        <xs:attribute name="classname" type="xs:string" use="required"/>
        <xs:attribute name="name" type="xs:string" use="required"/>
        <xs:attribute name="time" type="xs:decimal" use="required"/>
      </xs:complexType></xs:element>
    </xs:sequence>
    <xs:attribute name="name" type="xs:string" use="required"/>
    <xs:attribute name="tests" type="xs:nonNegativeInteger" use="required"/>
    <xs:attribute name="failures" type="xs:nonNegativeInteger" use="required"/>
    <xs:attribute name="errors" type="xs:nonNegativeInteger" use="required"/>
    <xs:attribute name="skipped" type="xs:nonNegativeInteger" use="required"/>
    <xs:attribute name="time" type="xs:decimal" use="required"/>
    <xs:attribute name="timestamp" type="xs:dateTime" use="required"/>
    <xs:attribute name="hostname" type="xs:string" use="required"/>
  </xs:complexType></xs:element>
</xs:schema>)";

// MinGW declares these interfaces but ships no library that defines their ids.
constexpr GUID kXmlDocument2Id = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr GUID kSchemaCollectionId = {0x373984C8, 0xB845, 0x449B, {0x91, 0xE7, 0x45, 0xAC, 0x83, 0x03, 0x6A, 0xDE}};

// True when the file is valid against the schema above, as the platform's validating parser reads
// it; otherwise false, with the parser's reason.
}  // namespace

::testing::AssertionResult ValidJUnit(const std::string& path) {
    const auto create = [](const wchar_t* progId, const GUID& iid, void** object) {
        CLSID clsid{};
        return SUCCEEDED(CLSIDFromProgID(progId, &clsid)) &&
               SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object));
    };
    ComPtr<IXMLDOMDocument2> schema;
    ComPtr<IXMLDOMDocument2> document;
    ComPtr<IXMLDOMSchemaCollection> schemas;
    if (!create(L"Msxml2.DOMDocument.6.0", kXmlDocument2Id, schema.put_void()) ||
        !create(L"Msxml2.DOMDocument.6.0", kXmlDocument2Id, document.put_void()) ||
        !create(L"Msxml2.XMLSchemaCache.6.0", kSchemaCollectionId, schemas.put_void())) {
        return ::testing::AssertionFailure() << "no validating XML parser";
    }
    VARIANT_BOOL loaded = VARIANT_FALSE;
    schema->put_async(VARIANT_FALSE);
    UniqueBstr schemaText(kJUnitSchema);
    UniqueBstr noNamespace("");
    VARIANT schemaDocument;
    schemaDocument.vt = VT_DISPATCH;
    schemaDocument.pdispVal = schema.get();
    if (FAILED(schema->loadXML(schemaText.get(), &loaded)) || !loaded ||
        FAILED(schemas->add(noNamespace.get(), schemaDocument))) {
        return ::testing::AssertionFailure() << "the schema does not load";
    }
    VARIANT collection;
    collection.vt = VT_DISPATCH;
    collection.pdispVal = schemas.get();
    document->put_async(VARIANT_FALSE);
    document->putref_schemas(collection);
    UniqueBstr name(path);
    VARIANT source;
    source.vt = VT_BSTR;
    source.bstrVal = name.get();
    ComPtr<IXMLDOMParseError> error;
    if (SUCCEEDED(document->load(source, &loaded)) && loaded == VARIANT_TRUE &&
        document->validate(error.put()) == S_OK) {
        return ::testing::AssertionSuccess();
    }
    UniqueBstr reason;
    if (!error) document->get_parseError(error.put());
    if (error) error->get_reason(reason.put());
    return ::testing::AssertionFailure() << path << ": " << (reason.get() ? WideToAnsi(reason.get()) : "invalid");
}


}  // namespace orlenta::test
