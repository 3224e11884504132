#pragma once

#include "app/BrowserChrome.h"

namespace velmora {

// The browser layer and toolbar of a front door without a display: state only.
class HeadlessBrowserChrome final : public BrowserChrome {
public:
    void setButtonTitles(const std::string&, const std::string&, const std::string&) override {}
    void setAssistVisible(bool) override {}
    void setAssistEnabled(bool) override {}
    void setTitle(const std::string& title) override { title_ = title; }
    void setSecurityText(const std::string& text) override { security_ = text; }
    void setAddress(const std::string& address) override { address_ = address; }
    void setLayerVisible(bool visible) override { visible_ = visible; }
    bool isLayerVisible() const override { return visible_; }
    void setLayerLeading(double) override {}
    void focusInterface() override {}
    void closeWindow() override {}

    const std::string& title() const { return title_; }
    const std::string& securityText() const { return security_; }
    const std::string& address() const { return address_; }

private:
    std::string title_;
    std::string security_;
    std::string address_;
    bool visible_ = false;
};

} // namespace velmora
