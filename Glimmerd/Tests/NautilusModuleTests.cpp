#include "Glimmerd/Tests/GlimmerdFixture.hpp"

#include <gio/gio.h>
#include <glib-object.h>
#include <gmodule.h>
extern "C" {
#include <nautilus-extension.h>
}

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace GlimmerdTesting;
using namespace std::chrono_literals;
using Sync::FileSyncStatus;

namespace {

// The test's own NautilusFileInfo: a local path that records its emblems and
// how often its extension info was invalidated (which, as in Nautilus, drops them).
struct TestFileInfo {
    GObject parent;
    std::string* path;
    gboolean directory;
    std::vector<std::string>* emblems;
    int invalidations;
};
struct TestFileInfoClass {
    GObjectClass parentClass;
};

GType testFileInfoType();

TestFileInfo* asTest(NautilusFileInfo* file)
{
    return G_TYPE_CHECK_INSTANCE_CAST(file, testFileInfoType(), TestFileInfo);
}

void initFileInfo(gpointer iface, gpointer)
{
    auto* info = static_cast<NautilusFileInfoInterface*>(iface);
    info->is_gone = [](NautilusFileInfo*) -> gboolean { return FALSE; };
    info->get_location = [](NautilusFileInfo* file) { return g_file_new_for_path(asTest(file)->path->c_str()); };
    info->get_uri = [](NautilusFileInfo* file) { return g_filename_to_uri(asTest(file)->path->c_str(), nullptr, nullptr); };
    info->get_name = [](NautilusFileInfo* file) { return g_path_get_basename(asTest(file)->path->c_str()); };
    info->is_directory = [](NautilusFileInfo* file) { return asTest(file)->directory; };
    info->get_file_type = [](NautilusFileInfo* file) { return asTest(file)->directory ? G_FILE_TYPE_DIRECTORY : G_FILE_TYPE_REGULAR; };
    info->add_emblem = [](NautilusFileInfo* file, const char* emblem) { asTest(file)->emblems->push_back(emblem); };
    info->invalidate_extension_info = [](NautilusFileInfo* file) {
        asTest(file)->emblems->clear();
        ++asTest(file)->invalidations;
    };
}

GType testFileInfoType()
{
    static GType type = [] {
        GTypeInfo info {};
        info.class_size = sizeof(TestFileInfoClass);
        info.instance_size = sizeof(TestFileInfo);
        info.instance_init = [](GTypeInstance* instance, gpointer) {
            auto* file = reinterpret_cast<TestFileInfo*>(instance);
            file->path = new std::string();
            file->emblems = new std::vector<std::string>();
        };
        info.class_init = [](gpointer klass, gpointer) {
            G_OBJECT_CLASS(klass)->finalize = [](GObject* object) {
                auto* file = reinterpret_cast<TestFileInfo*>(object);
                delete file->path;
                delete file->emblems;
                G_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(object)))->finalize(object);
            };
        };
        auto registered = g_type_register_static(G_TYPE_OBJECT, "GlimmerTestFileInfo", &info, GTypeFlags(0));
        GInterfaceInfo fileInfo { initFileInfo, nullptr, nullptr };
        g_type_add_interface_static(registered, NAUTILUS_TYPE_FILE_INFO, &fileInfo);
        return registered;
    }();
    return type;
}

TestFileInfo* makeFile(const std::string& path, bool directory)
{
    auto* file = static_cast<TestFileInfo*>(g_object_new(testFileInfoType(), nullptr));
    *file->path = path;
    file->directory = directory;
    return file;
}

// A type module that needs no loading: the test opens the module itself.
struct TestTypeModule {
    GTypeModule parent;
};
struct TestTypeModuleClass {
    GTypeModuleClass parentClass;
};

GType testTypeModuleType()
{
    static GType type = [] {
        GTypeInfo info {};
        info.class_size = sizeof(TestTypeModuleClass);
        info.instance_size = sizeof(TestTypeModule);
        info.class_init = [](gpointer klass, gpointer) {
            G_TYPE_MODULE_CLASS(klass)->load = [](GTypeModule*) -> gboolean { return TRUE; };
            G_TYPE_MODULE_CLASS(klass)->unload = [](GTypeModule*) { };
        };
        return g_type_register_static(G_TYPE_TYPE_MODULE, "GlimmerTestTypeModule", &info, GTypeFlags(0));
    }();
    return type;
}

// Counts the completions an update closure reports.
struct Completions {
    int complete = 0;
};

GClosure* completionClosure(Completions* completions)
{
    auto* closure = g_closure_new_simple(sizeof(GClosure), completions);
    g_closure_set_marshal(closure, [](GClosure* closure, GValue*, guint count, const GValue* values, gpointer, gpointer) {
        if (count == 3 && g_value_get_enum(&values[2]) == NAUTILUS_OPERATION_COMPLETE)
            ++static_cast<Completions*>(closure->data)->complete;
    });
    g_closure_sink(g_closure_ref(closure));
    return closure;
}

bool iterateUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        g_main_context_iteration(nullptr, FALSE);
        g_usleep(2000);
    }
    return true;
}

std::string label(gpointer item)
{
    char* text = nullptr;
    g_object_get(item, "label", &text, nullptr);
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

bool sensitive(gpointer item)
{
    gboolean value = FALSE;
    g_object_get(item, "sensitive", &value, nullptr);
    return value;
}

class NautilusModuleTests : public GlimmerdFixture {
protected:
    void SetUp() override
    {
        GlimmerdFixture::SetUp();
        start();
        // The module finds glimmerd where every client does.
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }

    // The emblems Nautilus would show for `file` after asking the module (again after an invalidation).
    std::vector<std::string> ask(TestFileInfo* file)
    {
        // Nautilus starts every update with no emblems from extensions.
        file->emblems->clear();
        Completions completions;
        auto* closure = completionClosure(&completions);
        NautilusOperationHandle* handle = nullptr;
        auto result = nautilus_info_provider_update_file_info(NAUTILUS_INFO_PROVIDER(provider),
            NAUTILUS_FILE_INFO(file), closure, &handle);
        if (result == NAUTILUS_OPERATION_IN_PROGRESS) {
            EXPECT_TRUE(iterateUntil([&] { return completions.complete == 1; }));
        }
        g_closure_unref(closure);
        return *file->emblems;
    }

    GObject* provider = nullptr;
};

} // namespace

// The module loaded as Nautilus loads it gives emblems per badge, asks again
// after a status change, offers the menu entries and sends their activation
// to the application — all against a real glimmerd.
TEST_F(NautilusModuleTests, BadgesInvalidationMenuAndActivation)
{
    auto* module = g_module_open(GLIMMER_NAUTILUS_MODULE, G_MODULE_BIND_LOCAL);
    ASSERT_TRUE(module) << g_module_error();
    gpointer initialize = nullptr, listTypes = nullptr, shutdown = nullptr;
    ASSERT_TRUE(g_module_symbol(module, "nautilus_module_initialize", &initialize));
    ASSERT_TRUE(g_module_symbol(module, "nautilus_module_list_types", &listTypes));
    ASSERT_TRUE(g_module_symbol(module, "nautilus_module_shutdown", &shutdown));
    auto* typeModule = G_TYPE_MODULE(g_object_new(testTypeModuleType(), nullptr));
    ASSERT_TRUE(g_type_module_use(typeModule));
    reinterpret_cast<void (*)(GTypeModule*)>(initialize)(typeModule);
    const GType* types = nullptr;
    int count = 0;
    reinterpret_cast<void (*)(const GType**, int*)>(listTypes)(&types, &count);
    ASSERT_EQ(count, 1);
    provider = G_OBJECT(g_object_new(types[0], nullptr));
    ASSERT_TRUE(NAUTILUS_IS_INFO_PROVIDER(provider));
    ASSERT_TRUE(NAUTILUS_IS_MENU_PROVIDER(provider));

    auto* upToDate = makeFile(cloud + "/a.txt", false);
    auto* failed = makeFile(cloud + "/err.txt", false);
    auto* unknown = makeFile(cloud + "/new.txt", false);
    auto* folder = makeFile(cloud + "/Docs", true);
    auto* outside = makeFile(directory / "outside.txt", false);

    // Until the module has heard which folder is observed it shows nothing,
    // then asks Nautilus to ask again.
    if (ask(upToDate).empty()) {
        ASSERT_TRUE(iterateUntil([&] { return upToDate->invalidations > 0; }));
    }
    EXPECT_EQ(ask(upToDate), std::vector<std::string> { "orvella-status-uptodate" });
    EXPECT_EQ(ask(failed), std::vector<std::string> { "orvella-status-error" });
    EXPECT_EQ(ask(unknown), std::vector<std::string> { "orvella-status-sync" });
    EXPECT_TRUE(ask(outside).empty());

    // A status committed by the application reaches the item as an invalidation.
    auto before = upToDate->invalidations;
    application->statusStore->setStatus(Platform::URL::fileURL(cloud + "/a.txt"), FileSyncStatus::error);
    ASSERT_TRUE(iterateUntil([&] { return upToDate->invalidations > before; })) << glimmerd->log();
    EXPECT_EQ(ask(upToDate), std::vector<std::string> { "orvella-status-error" });

    // A cancelled request never completes, and later requests still do.
    Completions cancelled;
    auto* closure = completionClosure(&cancelled);
    NautilusOperationHandle* handle = nullptr;
    ASSERT_EQ(nautilus_info_provider_update_file_info(NAUTILUS_INFO_PROVIDER(provider), NAUTILUS_FILE_INFO(unknown), closure, &handle),
        NAUTILUS_OPERATION_IN_PROGRESS);
    nautilus_info_provider_cancel_update(NAUTILUS_INFO_PROVIDER(provider), handle);
    EXPECT_EQ(ask(failed), std::vector<std::string> { "orvella-status-error" });
    EXPECT_EQ(cancelled.complete, 0);
    g_closure_unref(closure);

    // The menu: one entry for a file, two for a folder, disabled without a record, none for two items.
    GList* selection = g_list_append(nullptr, folder);
    GList* items = nautilus_menu_provider_get_file_items(NAUTILUS_MENU_PROVIDER(provider), selection);
    ASSERT_EQ(g_list_length(items), 2u);
    EXPECT_EQ(label(g_list_nth_data(items, 0)), "Link teilen \u2026");
    EXPECT_EQ(label(g_list_nth_data(items, 1)), "Ordner freigeben \u2026");
    EXPECT_TRUE(sensitive(g_list_nth_data(items, 1)));
    nautilus_menu_item_activate(NAUTILUS_MENU_ITEM(g_list_nth_data(items, 1)));
    ASSERT_TRUE(iterateUntil([&] { return !application->shareRequests().empty(); }));
    EXPECT_EQ(application->shareRequests().front(), std::make_pair(std::string("CloudCreatePrivateShare"), std::int64_t(43)));
    g_list_free_full(items, g_object_unref);
    g_list_free(selection);

    selection = g_list_append(nullptr, unknown);
    items = nautilus_menu_provider_get_file_items(NAUTILUS_MENU_PROVIDER(provider), selection);
    ASSERT_EQ(g_list_length(items), 1u);
    EXPECT_FALSE(sensitive(items->data));
    g_list_free_full(items, g_object_unref);
    selection = g_list_append(selection, upToDate);
    EXPECT_EQ(nautilus_menu_provider_get_file_items(NAUTILUS_MENU_PROVIDER(provider), selection), nullptr);
    g_list_free(selection);

    // glimmerd gone: the menu gives up at its deadline and the emblems go.
    glimmerd->terminate();
    selection = g_list_append(nullptr, upToDate);
    EXPECT_EQ(nautilus_menu_provider_get_file_items(NAUTILUS_MENU_PROVIDER(provider), selection), nullptr);
    g_list_free(selection);
    before = failed->invalidations;
    ASSERT_TRUE(iterateUntil([&] { return failed->invalidations > before; }));
    EXPECT_TRUE(ask(failed).empty());

    for (auto* file : { upToDate, failed, unknown, folder, outside })
        g_object_unref(file);
    g_object_unref(provider);
    reinterpret_cast<void (*)()>(shutdown)();
}
