#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Collects the visible text of a Word document body from XML events. Elements are matched by
// local name (the part after the last ':'), so it does not depend on the namespace prefix.
// Only characters inside text runs reach the output: field codes, properties and deleted
// text never do. One collector serves one document.
class DocxTextCollector {
public:
    void startElement(std::string_view qualifiedName);
    void endElement(std::string_view qualifiedName);
    void characters(std::string_view data);

    // The pieces joined without separator (not cleaned).
    std::string text() const;

    static std::string_view localName(std::string_view qualifiedName);

private:
    std::vector<std::string> parts_;
    bool inText_ = false;
    std::string buffer_;
};

} // namespace velmora
