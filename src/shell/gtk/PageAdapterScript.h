#pragma once

namespace velmora::gtkshell {

// Injected at document start into the interface page's main frame: gives the page the
// message API it was written against (window.chrome.webview) and maps it onto the "velmora"
// script message handler. Replies and events arrive through window.__velmoraReceive.
inline constexpr const char* kPageAdapterScript = R"JS((function () {
  window.__velmoraWebViewListeners = [];
  window.chrome = window.chrome || {};
  window.chrome.webview = {
    addEventListener: function (name, cb) {
      if (name === 'message' && typeof cb === 'function') window.__velmoraWebViewListeners.push(cb);
    },
    postMessage: function (msg) {
      window.webkit.messageHandlers.velmora.postMessage(msg);
    }
  };
  window.__velmoraReceive = function (msg) {
    var listeners = window.__velmoraWebViewListeners.slice();
    for (var i = 0; i < listeners.length; i++) {
      try { listeners[i]({ data: msg }); } catch (e) { console.error(e); }
    }
  };
})();)JS";

} // namespace velmora::gtkshell
