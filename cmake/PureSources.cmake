# The code that makes no Windows call: the line rules of boot.ini, the splitting of a command
# line, the text stream over bytes and what the threats are. The native tests and the fuzz
# targets build from these files alone, so that a Windows call slipping into one of them fails their link.
set(ZORVANE_PURE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/../src/boot/BootIniRewrite.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../src/frontend/ArgumentSplitting.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../src/platform/AsciiText.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../src/platform/TextStream.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../src/threats/ThreatFacts.cpp)
