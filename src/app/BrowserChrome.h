#pragma once

#include <string>

namespace velmora {

// The native parts of the main window around the two web views: the layer that holds the
// application browser and its dark toolbar (three buttons, title, trust badge). The desktop
// shell implements it with GTK widgets; the headless host and tests record what is set.
// All calls on the UI thread.
class BrowserChrome {
public:
    virtual ~BrowserChrome() = default;

    virtual void setButtonTitles(const std::string& assist, const std::string& reload, const std::string& close) = 0;
    virtual void setAssistVisible(bool visible) = 0;
    virtual void setAssistEnabled(bool enabled) = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual void setSecurityText(const std::string& text) = 0;
    // The address of the page in the browser, shown beside the title so the user always sees
    // where they are; empty when no page is open.
    virtual void setAddress(const std::string& address) = 0;

    // The browser layer; its left edge stays `leading` points right of the window's left
    // edge so the interface's sidebar remains usable.
    virtual void setLayerVisible(bool visible) = 0;
    virtual bool isLayerVisible() const = 0;
    virtual void setLayerLeading(double leading) = 0;

    // Gives the interface web view the keyboard focus of the window.
    virtual void focusInterface() = 0;
    // Closes the main window, which quits the program.
    virtual void closeWindow() = 0;
};

} // namespace velmora
