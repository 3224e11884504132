// velmora-bridge: the core without a window. One request JSON object per line on stdin,
// one envelope (reply or event) per line on stdout, exactly what the page would receive.

#include "app/Actions.h"
#include "app/AppContext.h"
#include "app/BackgroundRunner.h"
#include "app/Bridge.h"
#include "app/HeadlessBrowserChrome.h"
#include "app/HeadlessWebSurface.h"
#include "app/MainWindowController.h"
#include "app/QueueUiLoop.h"
#include "app/ScriptedDialogs.h"
#include "core/DataFolderLock.h"
#include "core/RequestLimits.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

using namespace velmora;

namespace {

void usage() {
    std::cerr << "usage: velmora-bridge [--data-dir DIR] [--dialogs FILE]\n"
                 "Reads one request JSON object per line on stdin and writes one envelope per line on stdout.\n";
}

// One line of input without its newline. Only the first `keep` bytes are held, so an endless
// line cannot exhaust memory; the bridge refuses a line that reached that length.
bool readLine(std::streambuf& in, std::string& line, size_t keep) {
    line.clear();
    bool any = false;
    for (int c = in.sbumpc(); c != std::char_traits<char>::eof(); c = in.sbumpc()) {
        any = true;
        if (c == '\n') return true;
        if (line.size() < keep) line.push_back(static_cast<char>(c));
    }
    return any;
}

} // namespace

int main(int argc, char** argv) {
    std::string dataDir;
    std::string dialogsFile;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "--data-dir" || arg == "--dialogs") && i + 1 < argc) {
            (arg == "--data-dir" ? dataDir : dialogsFile) = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else {
            usage();
            return 2;
        }
    }

    std::shared_ptr<AppContext> ctx;
    std::unique_ptr<DataFolderLock> folderLock;
    try {
        const std::filesystem::path folder =
            dataDir.empty() ? AppPaths::defaultApplicationSupport() : std::filesystem::path(dataDir);
        // Claimed before anything in the folder is made or opened; held until the process ends.
        folderLock = std::make_unique<DataFolderLock>(folder);
        AppPaths paths(folder);
        ctx = AppContext::create(paths);
        // Without --dialogs every dialog is cancelled; alerts always go to stderr.
        ctx->dialogs = dialogsFile.empty() ? std::make_shared<ScriptedDialogs>(json::object(), &std::cerr)
                                           : ScriptedDialogs::fromFile(dialogsFile, &std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "Velmora could not start\n" << e.what() << "\n";
        return 1;
    }

    QueueUiLoop loop;
    BackgroundRunner background(8);
    Bridge bridge(loop, background, [](const std::string& envelope) {
        std::fwrite(envelope.data(), 1, envelope.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
    registerActions(bridge, *ctx);

    // The main window's logic without a window, so openJob, openWebsite and the others answer
    // (and record) exactly as in the desktop program. No page and no sync timer here: the
    // client decides when to send startupSyncJobs.
    HeadlessWebSurface appView(loop);
    HeadlessWebSurface browserView(loop);
    HeadlessBrowserChrome chrome;
    auto window = MainWindowController::create(
        ctx, MainWindowController::Platform{loop, appView, browserView, chrome, *ctx->dialogs}, {});
    ctx->window = window;

    std::atomic<bool> inputEnded{false};
    std::thread reader([&] {
        std::string line;
        while (readLine(*std::cin.rdbuf(), line, JSONTools::kMaxRequestBytes + 1)) {
            loop.post([&bridge, line] { bridge.receiveLine(line); });
        }
        loop.post([&] { inputEnded = true; });
    });

    // At end of input, wait for replies still in flight, then leave.
    loop.run([&] { return inputEnded.load() && bridge.inFlight() == 0; });
    reader.join();
    return 0;
}
