#include "resume/DocxTextCollector.h"

namespace velmora {

std::string_view DocxTextCollector::localName(std::string_view qualifiedName) {
    size_t colon = qualifiedName.rfind(':');
    return colon == std::string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

void DocxTextCollector::startElement(std::string_view qualifiedName) {
    std::string_view name = localName(qualifiedName);
    if (name == "t") {
        inText_ = true;
        buffer_.clear();
    } else if (name == "tab") {
        text_ += '\t';
    } else if (name == "br" || name == "cr") {
        text_ += '\n';
    }
}

void DocxTextCollector::endElement(std::string_view qualifiedName) {
    std::string_view name = localName(qualifiedName);
    if (name == "t") {
        text_ += buffer_;
        buffer_.clear();
        inText_ = false;
    } else if (name == "p") {
        text_ += '\n';
    }
}

void DocxTextCollector::characters(std::string_view data) {
    if (inText_) buffer_.append(data);
}

} // namespace velmora
