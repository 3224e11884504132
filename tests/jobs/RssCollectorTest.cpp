#include "jobs/RSSCollector.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(RssCollector, CollectsItemFieldsIncludingCdataAndNamespacedNamesFromWellFormedXmlOnly) {
    auto items = RSSCollector::collect(R"(<?xml version="1.0"?>
<rss xmlns:dc="http://purl.org/dc/elements/1.1/"><channel><title>Feed title</title>
<item><title>  Acme: Dev  </title><dc:creator>Ann</dc:creator>
  <description><![CDATA[<p>Only in CDATA &amp; raw</p>]]></description>
  <category>One</category><category>Two</category><empty>  </empty></item>
<ITEM><title>Second &amp;amp; more</title></ITEM>
</channel></rss>)");
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 2u);
    // A later element of the same name wins; an empty one is left out.
    EXPECT_EQ((*items)[0], (RSSCollector::Item{{"title", "Acme: Dev"},
                                               {"creator", "Ann"},
                                               {"description", "<p>Only in CDATA &amp; raw</p>"},
                                               {"category", "Two"}}));
    EXPECT_EQ((*items)[1].at("title"), "Second &amp; more");

    for (const char* bad :
         {"<rss><item><title>caf\xff</title></item></rss>", "<rss><item><title>&nbsp;</title></item></rss>"})
        EXPECT_FALSE(RSSCollector::collect(bad)) << bad;
    EXPECT_EQ(RSSCollector::collect("<rss><channel/></rss>"), std::vector<RSSCollector::Item>{});
}
