#pragma once

#include "app/Dialogs.h"
#include "core/AppPaths.h"
#include "core/Clock.h"
#include "interview/InterviewPrepService.h"
#include "profile/ApplicationProfileService.h"
#include "resume/ResumeService.h"
#include "jobs/JobAggregatorService.h"
#include "jobs/SecurityService.h"
#include "storage/DatabaseService.h"
#include "storage/SQLiteDatabase.h"
#include "studio/ResumeStudioService.h"

#include <functional>
#include <memory>

namespace velmora {

class MainWindowController;
class JobSyncScheduler;

// Every service of a running Velmora, built once over one shared database connection and
// one key store, in start-up order. Front doors (desktop shell, headless host, tests) build
// one and hand it to the bridge actions.
struct AppContext {
    std::shared_ptr<AppPaths> paths;
    std::shared_ptr<Clock> clock;
    std::shared_ptr<Sleeper> sleeper;
    std::shared_ptr<SQLiteDatabase> sqlite;
    std::shared_ptr<DatabaseService> db;
    std::shared_ptr<SecureStoreService> secureStore; // the one key store, shared by every service
    std::shared_ptr<SecurityService> security;
    // The job sync over the endpoints of VELMORA_SOURCE_ENDPOINTS (default: the real boards).
    std::shared_ptr<JobAggregatorService> jobs;
    // The one job-sync schedule (its running flag guards timer and bridge alike); created by
    // registerSyncActions, which needs the bridge. The window controller's sync timer calls
    // jobSync->autoSyncIfDue().
    std::shared_ptr<JobSyncScheduler> jobSync;
    std::shared_ptr<ResumeService> resumes;           // local AI client, resume import and analysis
    std::shared_ptr<InterviewPrepService> interviews; // has its own ResumeService for the model
    std::shared_ptr<ApplicationProfileService> profiles;
    std::shared_ptr<ResumeStudioService> resumeStudio; // library initialised in create()

    // Open and save dialogs and alerts; set by the front door (GTK in the desktop shell,
    // scripted answers in velmora-bridge and tests). Without one every dialog counts as cancelled.
    std::shared_ptr<Dialogs> dialogs;

    // Called after the settings are saved so native controls follow a changed language.
    std::function<void()> applyNativeLanguage;
    // The main window's logic (browser, Assist Apply) for the shell actions; set by the front
    // door that creates it. Weak: the front door owns the controller, which holds this context.
    std::weak_ptr<MainWindowController> window;

    // Opens the database, runs initialize(), creates the services and clears what an earlier
    // run left in Temp (front doors claim the folder with DataFolderLock first). Throws VelmoraError
    // (for example "Could not open Velmora local database: ...") on failure.
    static std::shared_ptr<AppContext> create(const AppPaths& paths, std::shared_ptr<Clock> clock = nullptr,
                                              std::shared_ptr<Sleeper> sleeper = nullptr);
};

} // namespace velmora
