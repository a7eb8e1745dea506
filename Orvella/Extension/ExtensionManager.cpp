#include "Orvella/Extension/ExtensionManager.hpp"

#include "Platform/Foundation/Log.hpp"

#include <algorithm>

#include <csignal>
#include <unistd.h>

namespace Orvella {

ExtensionManager::ExtensionManager(Configuration configuration)
    : m_configuration(std::move(configuration))
{
    if (m_configuration.extensionURL.empty())
        m_configuration.extensionURL = defaultExtensionURL();
}

ExtensionManager::~ExtensionManager()
{
    std::lock_guard lock(m_mutex);
    m_pendingEnable.dispose();
}

std::filesystem::path ExtensionManager::defaultExtensionURL()
{
    std::error_code error;
    auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return "glimmerd";
    return program.parent_path() / "glimmerd";
}

void ExtensionManager::registerExtension()
{
    m_configuration.registry->add(m_configuration.bundleIdentifier, m_configuration.extensionURL);
    auto& scheduler = *m_configuration.mainScheduler;
    std::lock_guard lock(m_mutex);
    m_pendingEnable.dispose();
    // The manager outlives its scheduled work: the destructor disposes it.
    m_pendingEnable = scheduler.schedule(scheduler.currentDate() + enableDelay, [this] {
        {
            std::lock_guard lock(m_mutex);
            m_pendingEnable = {};
        }
        enableExtension();
    });
}

void ExtensionManager::enableExtension() { m_configuration.registry->use(m_configuration.bundleIdentifier); }

void ExtensionManager::unregisterExtension()
{
    {
        std::lock_guard lock(m_mutex);
        m_pendingEnable.dispose();
        m_pendingEnable = {};
    }
    if (m_configuration.registry->ignore(m_configuration.bundleIdentifier))
        m_configuration.registry->remove(m_configuration.extensionURL);
}

void ExtensionManager::killRunningExtensions()
{
    if (m_configuration.groupDirectory.empty())
        return;
    auto holders = Platform::ExtensionProcesses::lockHolders(m_configuration.groupDirectory / Platform::ExtensionProcesses::instanceLockFileName);
    for (auto pid : Platform::ExtensionProcesses::running(m_configuration.extensionURL)) {
        if (!std::ranges::binary_search(holders, pid))
            continue;
        if (!Platform::ExtensionProcesses::signal(pid, SIGKILL, m_configuration.extensionURL))
            Platform::Log::failure("Der Erweiterungsprozess " + std::to_string(pid) + " kann nicht beendet werden");
    }
}

} // namespace Orvella
