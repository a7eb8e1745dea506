# The composition root (AppModule/) and the session refresher
# (SessionRefresher/) in `OrvellaCore`, over the dependency container.
target_sources(OrvellaCore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/AppModule.cpp
    ${CMAKE_CURRENT_LIST_DIR}/APIClientFactories.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DesktopFactories.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RootEtagProviderAdapter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SyncEngineFactories.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../SessionRefresher/AlertSessionRefresher.cpp
)
target_link_libraries(OrvellaCore PUBLIC OrvellaResolver PlatformDatabase PlatformNetwork)

# Headless: LocalCloud on loopback, a bus and a notification server of the
# tests' own, a temporary home and group directory.
orvella_add_tests(OrvellaAppModule
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/Tests/AppModuleTests.cpp
        ${CMAKE_CURRENT_LIST_DIR}/Tests/AppModuleSyncTests.cpp
        ${CMAKE_CURRENT_LIST_DIR}/Tests/AppModuleNotificationTests.cpp
        ${CMAKE_CURRENT_LIST_DIR}/Tests/AlertSessionRefresherTests.cpp
        ${PROJECT_SOURCE_DIR}/Platform/FileSystem/Tests/TemporaryDirectory.cpp
    LIBRARIES OrvellaCore LocalCloud PlatformDesktopTestSupport
    TIMEOUT 180)
