#pragma once

#include <string>
#include <string_view>

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

    // The collected text (not cleaned).
    const std::string& text() const { return text_; }

    static std::string_view localName(std::string_view qualifiedName);

private:
    // The output pieces are appended as they come rather than kept as a list and joined:
    // the same text, without one allocation per run.
    std::string text_;
    bool inText_ = false;
    std::string buffer_;
};

} // namespace velmora
