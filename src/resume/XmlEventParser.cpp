#include "resume/XmlEventParser.h"

#include "resume/DocxTextCollector.h"

#include <expat.h>

#include <climits>

namespace velmora {

namespace {

struct ParserDeleter {
    void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};

void XMLCALL onStart(void* userData, const XML_Char* name, const XML_Char**) {
    static_cast<DocxTextCollector*>(userData)->startElement(name);
}

void XMLCALL onEnd(void* userData, const XML_Char* name) { static_cast<DocxTextCollector*>(userData)->endElement(name); }

void XMLCALL onCharacters(void* userData, const XML_Char* data, int length) {
    static_cast<DocxTextCollector*>(userData)->characters(std::string_view(data, static_cast<size_t>(length)));
}

} // namespace

struct XmlEventParser::Impl {
    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser;
    bool failed = false;
};

XmlEventParser::XmlEventParser(DocxTextCollector& collector) : impl_(std::make_unique<Impl>()) {
    impl_->parser.reset(XML_ParserCreate(nullptr));
    if (!impl_->parser) {
        impl_->failed = true;
        return;
    }
    XML_Parser p = impl_->parser.get();
    XML_SetUserData(p, &collector);
    XML_SetElementHandler(p, onStart, onEnd);
    XML_SetCharacterDataHandler(p, onCharacters);
}

XmlEventParser::~XmlEventParser() = default;

bool XmlEventParser::feed(const char* data, size_t size) {
    while (!impl_->failed && size > 0) {
        int chunk = size > static_cast<size_t>(INT_MAX / 2) ? INT_MAX / 2 : static_cast<int>(size);
        if (XML_Parse(impl_->parser.get(), data, chunk, XML_FALSE) != XML_STATUS_OK) impl_->failed = true;
        data += chunk;
        size -= static_cast<size_t>(chunk);
    }
    return !impl_->failed;
}

bool XmlEventParser::finish() {
    if (!impl_->failed && XML_Parse(impl_->parser.get(), "", 0, XML_TRUE) != XML_STATUS_OK) impl_->failed = true;
    return !impl_->failed;
}

} // namespace velmora
