#pragma once

#include "Glimmerd/FinderSyncHost/FinderSyncHost.hpp"
#include "Glimmerd/Tests/HostTestSupport.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

namespace GlimmerdTesting {

// A controller, a fake extension and (after `listen`) a host on a socket in a private directory.
class HostFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApplication();
        controller = std::make_shared<FinderSyncKit::FinderSyncController>();
        extension = std::make_shared<FakeExtension>(controller);
        socketPath = directory / "run/glimmerd.sock";
    }

    void listen(FinderSyncHost::FinderSyncHostOptions options = {})
    {
        options.socketPath = socketPath;
        auto listening = FinderSyncHost::FinderSyncHost::listen(options, controller, extension);
        ASSERT_TRUE(listening) << listening.error();
        host = std::move(*listening);
    }

    Platform::Testing::TemporaryDirectory directory;
    std::string socketPath;
    std::shared_ptr<FinderSyncKit::FinderSyncController> controller;
    std::shared_ptr<FakeExtension> extension;
    std::unique_ptr<FinderSyncHost::FinderSyncHost> host;
};

} // namespace GlimmerdTesting
