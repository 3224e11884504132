#include "shell/gtk/GtkDialogs.h"

#include "shell/gtk/GObjectPtr.h"

namespace velmora::gtkshell {

namespace {

constexpr const char* kAlertTitle = "Velmora by Quorvane";

void addFilter(GtkFileChooser* chooser, const std::vector<std::string>& extensions) {
    if (extensions.empty()) return;
    GtkFileFilter* filter = gtk_file_filter_new();
    std::string name;
    for (const auto& extension : extensions) {
        std::string pattern = "*." + extension;
        gtk_file_filter_add_pattern(filter, pattern.c_str());
        name += (name.empty() ? "" : ", ") + pattern;
    }
    gtk_file_filter_set_name(filter, name.c_str());
    gtk_file_chooser_add_filter(chooser, filter); // the chooser takes the floating reference
}

std::optional<std::filesystem::path> runForOne(GtkFileChooserNative* native) {
    std::optional<std::filesystem::path> chosen;
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(native)) == GTK_RESPONSE_ACCEPT) {
        GCharPtr file(gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(native)));
        if (file) chosen = std::filesystem::path(file.get());
    }
    return chosen;
}

void runMessage(GtkWindow* parent, GtkMessageType type, const std::string& title, const std::string& message) {
    GtkWidget* dialog = gtk_message_dialog_new(parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), type,
                                               GTK_BUTTONS_OK, "%s", title.c_str());
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", message.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), kAlertTitle);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

} // namespace

std::optional<std::filesystem::path> GtkDialogs::chooseOpenFile(const std::string& title,
                                                                const std::vector<std::string>& extensions) {
    GObjectPtr<GtkFileChooserNative> native(
        gtk_file_chooser_native_new(title.c_str(), parent_, GTK_FILE_CHOOSER_ACTION_OPEN, nullptr, nullptr));
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(native.get()), TRUE);
    gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(native.get()), FALSE);
    gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(native.get()), TRUE);
    addFilter(GTK_FILE_CHOOSER(native.get()), extensions);
    return runForOne(native.get());
}

std::optional<std::filesystem::path> GtkDialogs::chooseSaveFile(const std::string& title,
                                                                const std::string& suggestedName,
                                                                const std::vector<std::string>& extensions) {
    GObjectPtr<GtkFileChooserNative> native(
        gtk_file_chooser_native_new(title.c_str(), parent_, GTK_FILE_CHOOSER_ACTION_SAVE, nullptr, nullptr));
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(native.get()), TRUE);
    gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(native.get()), TRUE);
    gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(native.get()), suggestedName.c_str());
    addFilter(GTK_FILE_CHOOSER(native.get()), extensions);
    return runForOne(native.get());
}

std::vector<std::filesystem::path> GtkDialogs::chooseUploadFiles(bool multiple) {
    GObjectPtr<GtkFileChooserNative> native(
        gtk_file_chooser_native_new(nullptr, parent_, GTK_FILE_CHOOSER_ACTION_OPEN, nullptr, nullptr));
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(native.get()), TRUE);
    gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(native.get()), multiple);
    gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(native.get()), TRUE);
    std::vector<std::filesystem::path> files;
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(native.get())) != GTK_RESPONSE_ACCEPT) return files;
    GSList* names = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(native.get()));
    for (GSList* item = names; item; item = item->next) {
        files.emplace_back(static_cast<const char*>(item->data));
    }
    g_slist_free_full(names, g_free);
    return files;
}

void GtkDialogs::showInfo(const std::string& message) {
    GtkWidget* dialog = gtk_message_dialog_new(parent_, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                               GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "%s", message.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), kAlertTitle);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

void GtkDialogs::showCritical(const std::string& title, const std::string& message) {
    runMessage(parent_, GTK_MESSAGE_ERROR, title, message);
}

bool GtkDialogs::askChoice(const std::string& title, const std::string& message, const std::string& acceptLabel,
                           const std::string& cancelLabel) {
    GtkWidget* dialog = gtk_message_dialog_new(parent_, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                               GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE, "%s", title.c_str());
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", message.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), kAlertTitle);
    gtk_dialog_add_button(GTK_DIALOG(dialog), cancelLabel.c_str(), GTK_RESPONSE_CANCEL);
    gtk_dialog_add_button(GTK_DIALOG(dialog), acceptLabel.c_str(), GTK_RESPONSE_ACCEPT);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    const int answer = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return answer == GTK_RESPONSE_ACCEPT;
}

} // namespace velmora::gtkshell
