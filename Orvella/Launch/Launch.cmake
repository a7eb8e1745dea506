# The application's start and end: the launch steps (no Qt, tested with
# recording fakes) and the program `orvella` that wires them.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LAUNCH_SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)
add_library(OrvellaLaunch STATIC
    ${CMAKE_CURRENT_LIST_DIR}/AppDelegate.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DatabaseCheck.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InstanceLock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StandardDefaults.cpp
)
target_link_libraries(OrvellaLaunch PUBLIC OrvellaCore PRIVATE PkgConfig::LAUNCH_SQLITE3)

orvella_add_tests(OrvellaLaunch
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/Tests/AppDelegateTests.cpp
        ${PROJECT_SOURCE_DIR}/Platform/FileSystem/Tests/TemporaryDirectory.cpp
    LIBRARIES OrvellaLaunch PkgConfig::LAUNCH_SQLITE3)

# The user interface in the container and the launch's services from it.
add_library(OrvellaApplication STATIC
    ${CMAKE_CURRENT_LIST_DIR}/ContainerLaunchServices.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PasswordWindowHolder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UserInterfaceModule.cpp
)
target_link_libraries(OrvellaApplication PUBLIC OrvellaLaunch OrvellaUI)

add_executable(orvella ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(orvella PRIVATE OrvellaApplication)
# Beside the extension's program, which it registers and starts from its own folder.
set_target_properties(orvella PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

orvella_add_tests(OrvellaProgram
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/Tests/OrvellaProgramTests.cpp
        ${PROJECT_SOURCE_DIR}/Platform/FileSystem/Tests/TemporaryDirectory.cpp
    LIBRARIES OrvellaLaunch)
target_compile_definitions(OrvellaProgramTests PRIVATE ORVELLA_PROGRAM="$<TARGET_FILE:orvella>")
add_dependencies(OrvellaProgramTests orvella)

orvella_add_tests(OrvellaApplication
    SOURCES
        ${PROJECT_SOURCE_DIR}/Orvella/Presentation/Tests/QtTestMain.cpp
        ${CMAKE_CURRENT_LIST_DIR}/Tests/UserInterfaceModuleTests.cpp
        ${PROJECT_SOURCE_DIR}/Platform/FileSystem/Tests/TemporaryDirectory.cpp
    LIBRARIES OrvellaApplication LocalCloud PlatformDesktopTestSupport Qt6::Test
    TIMEOUT 180)
