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
        parts_.emplace_back("\t");
    } else if (name == "br" || name == "cr") {
        parts_.emplace_back("\n");
    }
}

void DocxTextCollector::endElement(std::string_view qualifiedName) {
    std::string_view name = localName(qualifiedName);
    if (name == "t") {
        parts_.push_back(std::move(buffer_));
        buffer_.clear();
        inText_ = false;
    } else if (name == "p") {
        parts_.emplace_back("\n");
    }
}

void DocxTextCollector::characters(std::string_view data) {
    if (inText_) buffer_.append(data);
}

std::string DocxTextCollector::text() const {
    size_t total = 0;
    for (const auto& part : parts_) total += part.size();
    std::string out;
    out.reserve(total);
    for (const auto& part : parts_) out += part;
    return out;
}

} // namespace velmora
