#include "platform/linux/gnome/GnomeCustomShortcut.h"

#include <gio/gio.h>

#include <algorithm>
#include <vector>

namespace sayvo {
namespace {

const char* const kListSchema = "org.gnome.settings-daemon.plugins.media-keys";
const char* const kEntrySchema = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
const char* const kRepeatSchema = "org.gnome.desktop.peripherals.keyboard";

// Only with the schema installed: GSettings aborts the process otherwise.
GSettings* settingsFor(const char* schemaId, const char* path = nullptr) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema =
        source ? g_settings_schema_source_lookup(source, schemaId, TRUE) : nullptr;
    if (!schema) return nullptr;
    GSettings* settings = g_settings_new_full(schema, nullptr, path);
    g_settings_schema_unref(schema);
    return settings;
}

std::vector<std::string> listedEntries(GSettings* list) {
    gchar** paths = g_settings_get_strv(list, "custom-keybindings");
    std::vector<std::string> entries;
    for (gchar** path = paths; path && *path; ++path) entries.emplace_back(*path);
    g_strfreev(paths);
    return entries;
}

}  // namespace

GnomeCustomShortcut::GnomeCustomShortcut(const std::string& applicationId)
    : command_("gdbus call --session --dest " + applicationId + " --object-path /" +
               [&] {
                   std::string path = applicationId;
                   std::replace(path.begin(), path.end(), '.', '/');
                   return path;
               }() +
               " --method org.freedesktop.Application.ActivateAction hotkey [] {}"),
      list_(settingsFor(kListSchema)),
      entry_(list_ ? settingsFor(kEntrySchema, path.c_str()) : nullptr) {
    if (!entry_ && list_) g_clear_object(&list_);
    if (!list_) return;
    g_signal_connect(list_, "changed::custom-keybindings", G_CALLBACK(notify), this);
    g_signal_connect(entry_, "changed::binding", G_CALLBACK(notify), this);
}

GnomeCustomShortcut::~GnomeCustomShortcut() {
    for (GSettings** settings : {&list_, &entry_}) {
        if (*settings) g_signal_handlers_disconnect_by_data(*settings, this);
        g_clear_object(settings);
    }
}

void GnomeCustomShortcut::notify(GSettings*, const char*, void* self) {
    auto* shortcut = static_cast<GnomeCustomShortcut*>(self);
    if (shortcut->changed) shortcut->changed();
}

std::string GnomeCustomShortcut::accelerator() const {
    if (!available()) return {};
    const auto entries = listedEntries(list_);
    if (std::find(entries.begin(), entries.end(), path) == entries.end()) return {};
    gchar* binding = g_settings_get_string(entry_, "binding");
    std::string accelerator = binding ? binding : "";
    g_free(binding);
    return accelerator;
}

bool GnomeCustomShortcut::bind(const std::string& accelerator) {
    if (!available()) return false;
    // The entry first, so that the daemon never lists one without a command.
    bool written = g_settings_set_string(entry_, "name", "Sayvo") &&
                   g_settings_set_string(entry_, "command", command_.c_str()) &&
                   g_settings_set_string(entry_, "binding", accelerator.c_str());
    auto entries = listedEntries(list_);
    if (written && std::find(entries.begin(), entries.end(), path) == entries.end()) {
        entries.push_back(path);
        std::vector<const gchar*> strv;
        for (const auto& entry : entries) strv.push_back(entry.c_str());
        strv.push_back(nullptr);
        written = g_settings_set_strv(list_, "custom-keybindings", strv.data());
    }
    g_settings_sync();
    return written;
}

ShortcutRepeatReader::Repeat GnomeCustomShortcut::keyboardRepeat() {
    ShortcutRepeatReader::Repeat repeat;
    if (GSettings* keyboard = settingsFor(kRepeatSchema)) {
        repeat.delay = g_settings_get_uint(keyboard, "delay") / 1000.0;
        repeat.interval = g_settings_get_uint(keyboard, "repeat-interval") / 1000.0;
        g_object_unref(keyboard);
    }
    return repeat;
}

}  // namespace sayvo
