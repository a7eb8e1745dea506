# The sharing dialogs: their view models in the application core (no Qt,
# tested in virtual time), their widgets in the interface library.
target_sources(OrvellaCore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/EmailAddress.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PrivateShareCloseQuestion.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PrivateShareViewModel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ShareDurationViewModel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ShareFailureText.cpp
)
target_sources(OrvellaUI PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/PrivateShareViewController.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ShareDurationViewController.cpp
)

orvella_add_tests(OrvellaShareDialogModels
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/Tests/ShareDialogModelsTests.cpp
        ${PROJECT_SOURCE_DIR}/Platform/FileSystem/Tests/TemporaryDirectory.cpp
    LIBRARIES OrvellaCore)

orvella_add_tests(OrvellaShareDialogs
    SOURCES
        ${PROJECT_SOURCE_DIR}/Orvella/Presentation/Tests/QtTestMain.cpp
        ${CMAKE_CURRENT_LIST_DIR}/Tests/ShareDialogWidgetsTests.cpp
    LIBRARIES OrvellaUI OrvellaUITestSupport Qt6::Test)
set_target_properties(OrvellaShareDialogsTests PROPERTIES AUTOMOC ON)
