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
    ${CMAKE_CURRENT_LIST_DIR}/Service/EmailDomainPartCredentialSanitizer.cpp
)
target_link_libraries(OrvellaCore PUBLIC OrvellaShared Quarlink Sync PlatformDesktop PlatformFileSystem PlatformFoundation Reactive)

set(ORVELLA_APPLICATION_CORE_TESTS
    ${CMAKE_CURRENT_LIST_DIR}/Tests/CredentialSanitizerTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Tests/EnvironmentStoreTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Tests/LoginItemTests.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Tests/SettingsManagerTests.cpp
)
if(NOT TARGET OrvellaCoreTests)
    orvella_add_tests(OrvellaCore
        SOURCES ${ORVELLA_APPLICATION_CORE_TESTS} ${PROJECT_SOURCE_DIR}/Platform/FileSystem/Tests/TemporaryDirectory.cpp
        LIBRARIES OrvellaCore)
else()
    target_sources(OrvellaCoreTests PRIVATE ${ORVELLA_APPLICATION_CORE_TESTS})
endif()
