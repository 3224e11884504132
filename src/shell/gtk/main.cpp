// velmora: the desktop program. One GTK window with the interface page and the application
// browser; the core behind it is the same one velmora-bridge drives without a window.

#include "app/AppContext.h"
#include "app/FollowUpReminder.h"
#include "app/DamagedDatabase.h"
#include "core/AppPaths.h"
#include "core/DataFolderLock.h"
#include "core/VelmoraError.h"
#include "storage/SQLiteDatabase.h"
#include "shell/gtk/DesktopShell.h"
#include "shell/gtk/GApplicationNotifier.h"
#include "shell/gtk/GtkDialogs.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

using namespace velmora;
using namespace velmora::gtkshell;

namespace {

struct Program {
    std::unique_ptr<DataFolderLock> folderLock; // the data folder is ours while the program runs
    std::unique_ptr<DesktopShell> shell;
    GtkApplication* app = nullptr;
    bool smokeTest = false;
    int smokeHoldSeconds = 0;
    std::string smokeOpenUrl;
    std::string smokeResume;
    int exitCode = 0;
};

std::vector<std::filesystem::path> resourceRoots() {
    // Beside the executable (the build folder, a portable copy), then the installed data folder.
    std::vector<std::filesystem::path> roots;
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        auto dir = exe.parent_path();
        roots.push_back(dir);
        roots.push_back((dir / ".." / "share" / "velmora").lexically_normal());
    }
    roots.emplace_back("/usr/local/share/velmora");
    roots.emplace_back("/usr/share/velmora");
    return roots;
}

gboolean quitOnSignal(gpointer data) {
    g_application_quit(G_APPLICATION(static_cast<Program*>(data)->app));
    return G_SOURCE_CONTINUE;
}

void smokeReply(Program& program, const std::string& reply, bool ok) {
    std::cout << (ok ? "velmora smoke test passed\n" : "velmora smoke test failed\n") << reply << std::endl;
    program.exitCode = ok ? 0 : 1;
    if (program.smokeHoldSeconds <= 0) {
        g_application_quit(G_APPLICATION(program.app));
        return;
    }
    // Stay up a while so the window can be looked at (a screenshot), then leave.
    g_timeout_add_seconds(static_cast<guint>(program.smokeHoldSeconds), +[](gpointer data) -> gboolean {
        g_application_quit(G_APPLICATION(static_cast<Program*>(data)->app));
        return G_SOURCE_REMOVE;
    }, &program);
}

// The damaged-database alert: true when the user chose to move the file aside.
bool askToMoveDamagedDatabase(const std::filesystem::path& database, const std::string& error) {
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_NONE, "%s",
                                               damaged_database::kAlertTitle);
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                             damaged_database::alertMessage(database, error).c_str());
    gtk_dialog_add_button(GTK_DIALOG(dialog), damaged_database::kQuitButton, GTK_RESPONSE_CANCEL);
    gtk_dialog_add_button(GTK_DIALOG(dialog), damaged_database::kMoveAsideButton, GTK_RESPONSE_ACCEPT);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    const int answer = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return answer == GTK_RESPONSE_ACCEPT;
}

void activate(GtkApplication* app, gpointer data) {
    auto& program = *static_cast<Program*>(data);
    if (program.shell) {
        program.shell->present();
        return;
    }
    try {
        if (!program.folderLock)
            program.folderLock = std::make_unique<DataFolderLock>(AppPaths::defaultApplicationSupport());
        auto ctx = AppContext::create(AppPaths::shared());
        DesktopShell::Options options;
        options.resourceRoots = resourceRoots();
        if (program.smokeTest) {
            options.smokeTest = [&program](const std::string& report, bool ok) { smokeReply(program, report, ok); };
            options.smokeOpenUrl = program.smokeOpenUrl;
            options.smokeResume = program.smokeResume;
        }
        program.shell = std::make_unique<DesktopShell>(app, ctx, std::move(options));
        if (!program.shell->start()) {
            program.exitCode = 1; // the missing-page alert was shown and the window closed
            g_application_quit(G_APPLICATION(app));
            return;
        }
        program.shell->present();
        GApplicationNotifier notifier(G_APPLICATION(app));
        remindOfDueFollowUps(*ctx->db, notifier);
    } catch (const DatabaseDamagedError& e) {
        program.shell.reset();
        const auto database = AppPaths::shared().database();
        std::cerr << "Velmora could not start: " << e.what() << std::endl;
        program.exitCode = 2;
        // A smoke test has nobody to answer the alert: it fails at once and touches nothing.
        if (program.smokeTest) {
            std::cout << "velmora smoke test failed: damaged database: " << e.what() << std::endl;
            g_application_quit(G_APPLICATION(app));
            return;
        }
        if (!askToMoveDamagedDatabase(database, e.what())) {
            g_application_quit(G_APPLICATION(app));
            return;
        }
        try {
            const auto moved = damaged_database::moveAside(database, std::chrono::system_clock::now());
            std::cerr << "Velmora moved the damaged database to " << moved.string() << std::endl;
        } catch (const std::exception& moveError) {
            GtkDialogs(nullptr).showCritical("Velmora could not start", moveError.what());
            g_application_quit(G_APPLICATION(app));
            return;
        }
        program.exitCode = 0;
        activate(app, data); // once more, with a new database
    } catch (const std::exception& e) {
        program.shell.reset();
        std::cerr << "Velmora could not start: " << e.what() << std::endl;
        // A smoke run has nobody to close the alert; the line above says it all.
        if (!program.smokeTest) GtkDialogs(nullptr).showCritical("Velmora could not start", e.what());
        program.exitCode = 1;
        g_application_quit(G_APPLICATION(app));
    }
}

} // namespace

int main(int argc, char** argv) {
    Program program;
    std::vector<char*> gtkArgs{argv[0]};
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--smoke-test") {
            program.smokeTest = true;
        } else if (arg == "--smoke-hold" && i + 1 < argc) {
            program.smokeHoldSeconds = std::atoi(argv[++i]);
        } else if (arg == "--smoke-open" && i + 1 < argc) {
            program.smokeOpenUrl = argv[++i];
        } else if (arg == "--smoke-resume" && i + 1 < argc) {
            program.smokeResume = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            std::cout << "usage: velmora [--smoke-test [--smoke-hold SECONDS] [--smoke-open URL [--smoke-resume FILE]]]\n"
                         "Opens the Velmora window. --smoke-test sends getInitialState through the page once it\n"
                         "has loaded; with --smoke-open it also saves a profile, opens URL with openJob and runs\n"
                         "Assist Apply there. It prints a report and exits (after SECONDS with --smoke-hold).\n"
                         "VELMORA_DATA_DIR replaces the data folder.\n";
            return 0;
        } else {
            gtkArgs.push_back(argv[i]);
        }
    }
    gtkArgs.push_back(nullptr);
    int gtkArgc = static_cast<int>(gtkArgs.size()) - 1;
    char** gtkArgv = gtkArgs.data();

    if (!gtk_init_check(&gtkArgc, &gtkArgv)) {
        std::cerr << "velmora: no graphical display is available (set DISPLAY or WAYLAND_DISPLAY); "
                     "velmora-bridge runs the core without a window."
                  << std::endl;
        return 1;
    }

    program.app = gtk_application_new("com.quorvane.Velmora", G_APPLICATION_NON_UNIQUE);
    g_signal_connect(program.app, "activate", G_CALLBACK(activate), &program);
    g_unix_signal_add(SIGTERM, quitOnSignal, &program);
    g_unix_signal_add(SIGINT, quitOnSignal, &program);
    if (program.smokeTest) {
        g_timeout_add_seconds(240, +[](gpointer data) -> gboolean {
            auto& p = *static_cast<Program*>(data);
            std::cout << "velmora smoke test failed: the page did not answer within 240 seconds" << std::endl;
            p.exitCode = 3;
            g_application_quit(G_APPLICATION(p.app));
            return G_SOURCE_REMOVE;
        }, &program);
    }

    int status = g_application_run(G_APPLICATION(program.app), gtkArgc, gtkArgv);
    program.shell.reset();
    g_object_unref(program.app);
    return status != 0 ? status : program.exitCode;
}
