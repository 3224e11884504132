#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Collects the items of an RSS document as maps from field name to text, on expat's
// streaming callbacks. A field is named by the element's local part ("dc:creator" gives
// "creator"); a later element of the same name within an item overwrites the earlier one.
// Text inside CDATA sections counts like any other character data: feeds that wrap their
// descriptions in CDATA would otherwise arrive without them.
class RSSCollector {
public:
    using Item = std::map<std::string, std::string>;

    // The items, or nullopt when the parser rejects the document.
    static std::optional<std::vector<Item>> collect(std::string_view xml);

    void startElement(const char* name);
    void characters(const char* data, int length);
    void endElement(const char* name);

    const std::vector<Item>& items() const { return items_; }

private:
    std::vector<Item> items_;
    std::optional<Item> current_;
    std::string field_;
    std::string buffer_;
};

} // namespace velmora
