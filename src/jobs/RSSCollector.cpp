#include "jobs/RSSCollector.h"

#include "core/Text.h"

#include <climits>
#include <expat.h>
#include <memory>

namespace velmora {

namespace {

struct ParserDeleter {
    void operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }
};
using ParserPtr = std::unique_ptr<XML_ParserStruct, ParserDeleter>;

std::string localName(const char* name) {
    std::string_view n(name);
    size_t colon = n.rfind(':');
    return std::string(colon == std::string_view::npos ? n : n.substr(colon + 1));
}

bool isItem(const char* name) { return text::lower(name) == "item"; }

void XMLCALL onStart(void* user, const XML_Char* name, const XML_Char**) {
    static_cast<RSSCollector*>(user)->startElement(name);
}
void XMLCALL onEnd(void* user, const XML_Char* name) { static_cast<RSSCollector*>(user)->endElement(name); }
void XMLCALL onText(void* user, const XML_Char* data, int length) {
    static_cast<RSSCollector*>(user)->characters(data, length);
}

} // namespace

void RSSCollector::startElement(const char* name) {
    if (isItem(name)) {
        current_ = Item{};
        field_.clear();
        buffer_.clear();
        return;
    }
    if (!current_) return;
    field_ = localName(name);
    buffer_.clear();
}

void RSSCollector::characters(const char* data, int length) {
    if (current_ && length > 0) buffer_.append(data, static_cast<size_t>(length));
}

void RSSCollector::endElement(const char* name) {
    if (isItem(name)) {
        if (current_) items_.push_back(std::move(*current_));
        current_.reset();
        field_.clear();
        buffer_.clear();
        return;
    }
    if (!current_ || field_.empty()) return;
    std::string value = text::trim(buffer_);
    if (!value.empty()) (*current_)[field_] = std::move(value);
    field_.clear();
    buffer_.clear();
}

std::optional<std::vector<RSSCollector::Item>> RSSCollector::collect(std::string_view xml) {
    if (xml.size() > static_cast<size_t>(INT_MAX)) return std::nullopt;
    ParserPtr parser(XML_ParserCreate("UTF-8"));
    if (!parser) return std::nullopt;
    RSSCollector collector;
    XML_SetUserData(parser.get(), &collector);
    XML_SetElementHandler(parser.get(), onStart, onEnd);
    XML_SetCharacterDataHandler(parser.get(), onText);
    if (XML_Parse(parser.get(), xml.data(), static_cast<int>(xml.size()), XML_TRUE) != XML_STATUS_OK) return std::nullopt;
    return std::move(collector.items_);
}

} // namespace velmora
