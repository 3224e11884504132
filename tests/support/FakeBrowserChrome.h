#pragma once

#include "app/BrowserChrome.h"

#include <string>

namespace velmora::testing {

// The browser layer and toolbar as plain fields.
class FakeBrowserChrome final : public velmora::BrowserChrome {
public:
    void setButtonTitles(const std::string& a, const std::string& r, const std::string& c) override {
        assist = a;
        reload = r;
        close = c;
    }
    void setAssistVisible(bool visible) override { assistVisible = visible; }
    void setAssistEnabled(bool enabled) override { assistEnabled = enabled; }
    void setTitle(const std::string& t) override { title = t; }
    void setSecurityText(const std::string& t) override { security = t; }
    void setAddress(const std::string& a) override { address = a; }
    void setLayerVisible(bool visible) override { layerVisible = visible; }
    bool isLayerVisible() const override { return layerVisible; }
    void setLayerLeading(double l) override { leading = l; }
    void focusInterface() override { ++focusRequests; }
    void closeWindow() override { closed = true; }

    std::string assist, reload, close, title, security, address;
    bool assistVisible = true;
    bool assistEnabled = true;
    bool layerVisible = false;
    double leading = 0;
    int focusRequests = 0;
    bool closed = false;
};

} // namespace velmora::testing
