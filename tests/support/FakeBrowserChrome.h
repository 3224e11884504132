#pragma once

#include "app/BrowserChrome.h"

#include <string>

namespace velmora::testing {

// The browser layer and toolbar as plain fields.
class FakeBrowserChrome final : public velmora::BrowserChrome {
public:
    void setButtonTitles(const std::string&, const std::string&, const std::string&) override {}
    void setAssistVisible(bool visible) override { assistVisible = visible; }
    void setAssistEnabled(bool enabled) override { assistEnabled = enabled; }
    void setTitle(const std::string& t) override { title = t; }
    void setSecurityText(const std::string& t) override { security = t; }
    void setAddress(const std::string& a) override { address = a; }
    void setLayerVisible(bool visible) override { layerVisible = visible; }
    bool isLayerVisible() const override { return layerVisible; }
    void setLayerLeading(double) override {}
    void focusInterface() override { ++focusRequests; }
    void closeWindow() override { closed = true; }

    std::string title, security, address;
    bool assistVisible = true, assistEnabled = true, layerVisible = false, closed = false;
    int focusRequests = 0;
};

} // namespace velmora::testing
