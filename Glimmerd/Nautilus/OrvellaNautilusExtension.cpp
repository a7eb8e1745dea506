// The module's entry points and its provider type: an info provider that
// adds glimmerd's badge as an emblem, and a menu provider with glimmerd's
// entries. Nautilus 43, extension API 4.

#include "Glimmerd/FinderSyncHost/GlimmerSocketPath.hpp"
#include "Glimmerd/Nautilus/GlimmerLink.hpp"

#include <gio/gio.h>
#include <glib-object.h>
// The header declares the module's entry points without C linkage; GLib is
// included above so that only the extension's own declarations are wrapped.
extern "C" {
#include <nautilus-extension.h>
}

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using GlimmerNautilus::GlimmerLink;
using nlohmann::json;

// How long the menu waits for glimmerd before it shows no entries.
constexpr std::chrono::milliseconds menuDeadline { 300 };

struct ProviderClass {
    GObjectClass parentClass;
};

struct Provider {
    GObject parent;
};

GType providerType = 0;

// An item the file manager asked about: the emblem it shows now, and the
// item itself as long as Nautilus keeps it.
struct SeenItem {
    GWeakRef file;
    std::string badge;
    SeenItem() { g_weak_ref_init(&file, nullptr); }
    ~SeenItem() { g_weak_ref_clear(&file); }
    SeenItem(const SeenItem&) = delete;
    SeenItem& operator=(const SeenItem&) = delete;
};

std::unordered_map<std::string, std::unique_ptr<SeenItem>>& seenItems()
{
    static auto* items = new std::unordered_map<std::string, std::unique_ptr<SeenItem>>();
    return *items;
}

// Asks Nautilus to ask again for the item at `path` (or for every item), if
// it still exists. The items are collected first: Nautilus may ask at once,
// and its questions add to the map.
void invalidate(const std::string* path)
{
    auto& items = seenItems();
    std::vector<NautilusFileInfo*> files;
    for (auto entry = items.begin(); entry != items.end();) {
        if (path && entry->first != *path) {
            ++entry;
            continue;
        }
        auto* file = static_cast<NautilusFileInfo*>(g_weak_ref_get(&entry->second->file));
        if (!file) {
            entry = items.erase(entry);
            continue;
        }
        files.push_back(file);
        ++entry;
    }
    for (auto* file : files) {
        nautilus_file_info_invalidate_extension_info(file);
        g_object_unref(file);
    }
}

GlimmerLink& link()
{
    static auto* shared = new GlimmerLink(FinderSyncHost::glimmerSocketPath().string(), GlimmerLink::Events {
        .badgeChanged = [](const std::string& path, const std::string& identifier) {
            auto& items = seenItems();
            auto found = items.find(path);
            if (found != items.end() && found->second->badge != identifier)
                invalidate(&path);
        },
        .observedChanged = [] { invalidate(nullptr); },
    });
    return *shared;
}

std::string localPath(NautilusFileInfo* file)
{
    auto* location = nautilus_file_info_get_location(file);
    if (!location)
        return {};
    char* path = g_file_get_path(location);
    g_object_unref(location);
    std::string result = path ? path : "";
    g_free(path);
    while (result.size() > 1 && result.ends_with('/'))
        result.pop_back();
    return result;
}

// One badge request under way; cancelled ones are answered to nobody.
struct Update {
    NautilusInfoProvider* provider;
    NautilusFileInfo* file;
    GClosure* closure;
    std::string path;
    bool cancelled = false;
};

NautilusOperationResult updateFileInfo(NautilusInfoProvider* provider, NautilusFileInfo* file, GClosure* closure,
    NautilusOperationHandle** handle)
{
    auto path = localPath(file);
    if (path.empty())
        return NAUTILUS_OPERATION_COMPLETE;
    auto& item = seenItems()[path];
    if (!item)
        item = std::make_unique<SeenItem>();
    g_weak_ref_set(&item->file, file);
    if (!link().isObserved(path)) {
        item->badge.clear();
        return NAUTILUS_OPERATION_COMPLETE;
    }
    auto* update = new Update { provider, static_cast<NautilusFileInfo*>(g_object_ref(file)), g_closure_ref(closure), path };
    *handle = reinterpret_cast<NautilusOperationHandle*>(update);
    link().send({ { "op", "badge" }, { "path", path } }, [update](const json* answer) {
        std::string badge;
        if (answer && answer->value("ok", false) && answer->value("badge", json()).is_string())
            badge = (*answer)["badge"].get<std::string>();
        if (!update->cancelled) {
            auto& seen = seenItems()[update->path];
            if (!seen)
                seen = std::make_unique<SeenItem>();
            seen->badge = badge;
            if (auto emblem = link().emblem(badge); !emblem.empty())
                nautilus_file_info_add_emblem(update->file, emblem.c_str());
            nautilus_info_provider_update_complete_invoke(update->closure, update->provider,
                reinterpret_cast<NautilusOperationHandle*>(update), NAUTILUS_OPERATION_COMPLETE);
        }
        g_closure_unref(update->closure);
        g_object_unref(update->file);
        delete update;
    });
    return NAUTILUS_OPERATION_IN_PROGRESS;
}

void cancelUpdate(NautilusInfoProvider*, NautilusOperationHandle* handle)
{
    reinterpret_cast<Update*>(handle)->cancelled = true;
}

// What an entry runs when chosen: the selection and the entry's number.
struct Activation {
    std::vector<std::string> selection;
    std::size_t index;
};

void activate(NautilusMenuItem*, gpointer data)
{
    auto* activation = static_cast<Activation*>(data);
    link().send({ { "op", "invoke" }, { "kind", "items" }, { "selection", activation->selection }, { "index", activation->index } },
        [](const json*) { });
}

GList* fileItems(NautilusMenuProvider*, GList* files)
{
    std::vector<std::string> selection;
    for (auto* entry = files; entry; entry = entry->next)
        selection.push_back(localPath(static_cast<NautilusFileInfo*>(entry->data)));
    if (selection.empty() || selection.front().empty() || !link().isObserved(selection.front()))
        return nullptr;
    json request = { { "op", "menu" }, { "kind", "items" }, { "selection", selection } };
    if (auto slash = selection.front().rfind('/'); slash != std::string::npos)
        request["target"] = slash == 0 ? std::string("/") : selection.front().substr(0, slash);
    auto answer = link().ask(request, menuDeadline);
    if (!answer || !answer->value("ok", false) || !(*answer)["menu"].is_object())
        return nullptr;
    GList* items = nullptr;
    std::size_t index = 0;
    try {
        for (const auto& entry : (*answer)["menu"].value("items", json::array())) {
            auto name = "OrvellaGlimmer::entry" + std::to_string(index);
            auto title = entry.value("title", std::string());
            auto* item = nautilus_menu_item_new(name.c_str(), title.c_str(), nullptr, nullptr);
            g_object_set(item, "sensitive", entry.value("enabled", false) ? TRUE : FALSE, nullptr);
            auto* activation = new Activation { selection, index };
            g_signal_connect_data(item, "activate", G_CALLBACK(activate), activation,
                [](gpointer data, GClosure*) { delete static_cast<Activation*>(data); }, GConnectFlags(0));
            items = g_list_append(items, item);
            ++index;
        }
    } catch (const json::exception&) {
        // An entry of unexpected shape ends the list there.
    }
    return items;
}

void initInfoProvider(gpointer iface, gpointer)
{
    auto* info = static_cast<NautilusInfoProviderInterface*>(iface);
    info->update_file_info = updateFileInfo;
    info->cancel_update = cancelUpdate;
}

void initMenuProvider(gpointer iface, gpointer)
{
    auto* menu = static_cast<NautilusMenuProviderInterface*>(iface);
    menu->get_file_items = fileItems;
    menu->get_background_items = nullptr;
}

void registerProviderType(GTypeModule* module)
{
    GTypeInfo info {};
    info.class_size = sizeof(ProviderClass);
    info.instance_size = sizeof(Provider);
    providerType = g_type_module_register_type(module, G_TYPE_OBJECT, "OrvellaGlimmerProvider", &info, GTypeFlags(0));
    GInterfaceInfo infoProvider { initInfoProvider, nullptr, nullptr };
    GInterfaceInfo menuProvider { initMenuProvider, nullptr, nullptr };
    g_type_module_add_interface(module, providerType, NAUTILUS_TYPE_INFO_PROVIDER, &infoProvider);
    g_type_module_add_interface(module, providerType, NAUTILUS_TYPE_MENU_PROVIDER, &menuProvider);
}

} // namespace

extern "C" {

G_MODULE_EXPORT void nautilus_module_initialize(GTypeModule* module)
{
    registerProviderType(module);
    (void)link();
}

G_MODULE_EXPORT void nautilus_module_shutdown(void)
{
}

G_MODULE_EXPORT void nautilus_module_list_types(const GType** types, int* count)
{
    static GType list[1];
    list[0] = providerType;
    *types = list;
    *count = 1;
}

} // extern "C"
