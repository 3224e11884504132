#include "jobs/RSSCollector.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(RssCollector, CollectsItemFieldsIncludingCdataAndNamespacedNames) {
    auto items = RSSCollector::collect(R"(<?xml version="1.0"?>
<rss xmlns:dc="http://purl.org/dc/elements/1.1/"><channel><title>Feed title</title>
<item><title>  Acme: Dev  </title><dc:creator>Ann</dc:creator>
  <description><![CDATA[<p>Only in CDATA &amp; raw</p>]]></description>
  <category>One</category><category>Two</category><empty>  </empty></item>
<ITEM><title>Second &amp;amp; more</title></ITEM>
</channel></rss>)");
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 2u);
    const auto& first = (*items)[0];
    EXPECT_EQ(first.at("title"), "Acme: Dev");
    EXPECT_EQ(first.at("creator"), "Ann");
    EXPECT_EQ(first.at("description"), "<p>Only in CDATA &amp; raw</p>");
    EXPECT_EQ(first.at("category"), "Two"); // a later element of the same name wins
    EXPECT_EQ(first.count("empty"), 0u);
    EXPECT_EQ((*items)[1].at("title"), "Second &amp; more");
}

TEST(RssCollector, RejectsWhatIsNotWellFormedXml) {
    EXPECT_FALSE(RSSCollector::collect("<html><body>Service unavailable"));
    EXPECT_FALSE(RSSCollector::collect("{\"jobs\": []}"));
    EXPECT_FALSE(RSSCollector::collect("<rss><item><title>caf\xff</title></item></rss>"));
    EXPECT_FALSE(RSSCollector::collect("<rss><item><title>&nbsp;</title></item></rss>"));
    auto empty = RSSCollector::collect("<rss><channel/></rss>");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}
