#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace velmora {

class DocxTextCollector;

// An expat push parser that reports element starts and ends by qualified name and character
// data in document order to a DocxTextCollector. Input may arrive in chunks of any size.
// External entities are never fetched; expat's amplification guard stays on.
class XmlEventParser {
public:
    explicit XmlEventParser(DocxTextCollector& collector);
    ~XmlEventParser();
    XmlEventParser(const XmlEventParser&) = delete;
    XmlEventParser& operator=(const XmlEventParser&) = delete;

    // False once the input is known not to be well-formed XML; later calls keep failing.
    bool feed(const char* data, size_t size);
    // Ends the input; false when the document is incomplete or not well-formed.
    bool finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace velmora
