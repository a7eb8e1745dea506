# The application core's settings (Settings/), its one facade over the API
# client (Service/) and the share, search and quota services (Sharing/), in
# the library `OrvellaCore` (no Qt).
if(NOT TARGET OrvellaCore)
    add_library(OrvellaCore SHARED)
    target_include_directories(OrvellaCore PUBLIC ${PROJECT_SOURCE_DIR})
endif()
target_sources(OrvellaCore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/Settings/CloudAPIEnvironmentStore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Settings/CloudUserDefaults.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Settings/EnvironmentNames.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Settings/LoginItem.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Settings/SettingsManager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Service/APIClientManager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Service/APIClientManagerSyncAdapter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Service/APIManagerError.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Service/DownloadStaging.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Service/EmailDomainPartCredentialSanitizer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Service/RemoteSyncFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Service/SyncAdapterError.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Sharing/APIClientPrivateShareService.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Sharing/APIClientPublicShareService.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Sharing/ShareError.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Sharing/ShareRequests.cpp
)
target_link_libraries(OrvellaCore PUBLIC OrvellaShared Quarlink Sync PlatformDesktop PlatformFileSystem PlatformFoundation Reactive)

set(ORVELLA_APPLICATION_CORE_TESTS
    ${CMAKE_CURRENT_LIST_DIR}/Tests/APIClientManagerTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Tests/CredentialSanitizerTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Tests/EnvironmentStoreTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Tests/LoginItemTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Tests/SettingsManagerTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Tests/ShareServicesTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Tests/SyncAdapterTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Tests/SyncEndToEndTests.cpp
)
target_sources(OrvellaCoreTests PRIVATE ${ORVELLA_APPLICATION_CORE_TESTS})
# The service facade's tests run against the local service on loopback, the
# end-to-end ones with the whole engine.
target_link_libraries(OrvellaCoreTests PRIVATE LocalCloud SyncTestSupport)
add_subdirectory(Tests/CrashSafety)
add_subdirectory(Tests/EndToEnd)
