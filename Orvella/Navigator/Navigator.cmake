# The navigator: the one object of the interface that opens things.
target_sources(OrvellaUI PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Navigator.cpp)

orvella_add_tests(OrvellaNavigator
    SOURCES
        ${PROJECT_SOURCE_DIR}/Orvella/Presentation/Tests/QtTestMain.cpp
        ${CMAKE_CURRENT_LIST_DIR}/Tests/NavigatorTests.cpp
    LIBRARIES OrvellaUI OrvellaUITestSupport Qt6::Test)
target_sources(orvella-gallery PRIVATE ${PROJECT_SOURCE_DIR}/Orvella/Gallery/ShareDialogScreens.cpp)
