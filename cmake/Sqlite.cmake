# SQLite for the message catalogue: the amalgamation made from Debian's source package, as a static library.
# Defines the target orlenta_sqlite. Include once.
include_guard(GLOBAL)

set(ORLENTA_SQLITE_VERSION "3.40.1")
set(ORLENTA_SQLITE_SOURCE_DIR "${PROJECT_SOURCE_DIR}/build/sqlite-${ORLENTA_SQLITE_VERSION}" CACHE PATH
    "Folder holding sqlite3.c and sqlite3.h of the pinned SQLite version (made by scripts/fetch-sqlite-source.sh)")

# Made once per checkout and shared by every build folder below build/, so rebuilds and other
# build trees do not fetch again. Without apt (a Windows host) point the cache variable at an amalgamation.
if(NOT EXISTS "${ORLENTA_SQLITE_SOURCE_DIR}/sqlite3.c")
  if(NOT CMAKE_HOST_UNIX)
    message(FATAL_ERROR "SQLite ${ORLENTA_SQLITE_VERSION}: no sqlite3.c in ${ORLENTA_SQLITE_SOURCE_DIR}; "
                        "set ORLENTA_SQLITE_SOURCE_DIR to a folder holding that version's amalgamation.")
  endif()
  message(STATUS "SQLite ${ORLENTA_SQLITE_VERSION}: making the amalgamation from Debian's source package")
  execute_process(
    COMMAND bash "${PROJECT_SOURCE_DIR}/scripts/fetch-sqlite-source.sh"
            "${ORLENTA_SQLITE_SOURCE_DIR}" "${ORLENTA_SQLITE_VERSION}"
    RESULT_VARIABLE fetch_result)
  if(NOT fetch_result EQUAL 0)
    message(FATAL_ERROR "SQLite ${ORLENTA_SQLITE_VERSION}: scripts/fetch-sqlite-source.sh failed (${fetch_result})")
  endif()
endif()

# The pin holds whatever filled the folder.
file(STRINGS "${ORLENTA_SQLITE_SOURCE_DIR}/sqlite3.h" sqlite_version_line
     REGEX "^#define SQLITE_VERSION +\"[0-9.]+\"")
string(REGEX REPLACE ".*\"([0-9.]+)\".*" "\\1" sqlite_found_version "${sqlite_version_line}")
if(NOT sqlite_found_version STREQUAL ORLENTA_SQLITE_VERSION)
  message(FATAL_ERROR "SQLite: ${ORLENTA_SQLITE_SOURCE_DIR} holds version '${sqlite_found_version}', "
                      "but the build is pinned to ${ORLENTA_SQLITE_VERSION}")
endif()
set(sqlite_package "")
if(EXISTS "${ORLENTA_SQLITE_SOURCE_DIR}/DEBIAN_VERSION")
  file(STRINGS "${ORLENTA_SQLITE_SOURCE_DIR}/DEBIAN_VERSION" sqlite_debian_version LIMIT_COUNT 1)
  set(sqlite_package " (Debian source package ${sqlite_debian_version})")
endif()
message(STATUS "SQLite ${sqlite_found_version}${sqlite_package} from ${ORLENTA_SQLITE_SOURCE_DIR}")

add_library(orlenta_sqlite STATIC "${ORLENTA_SQLITE_SOURCE_DIR}/sqlite3.c")
target_include_directories(orlenta_sqlite SYSTEM PUBLIC "${ORLENTA_SQLITE_SOURCE_DIR}")
# DQS=0: a double-quoted name that is no column is an error, never a string literal, so a query
# naming a missing column fails instead of returning the name. No extension loading is needed.
# A merge of a night's shard histories attaches them all at once: the engine's most, not its default 10.
target_compile_definitions(orlenta_sqlite PRIVATE SQLITE_DQS=0 SQLITE_OMIT_LOAD_EXTENSION SQLITE_MAX_ATTACHED=125)
set_target_properties(orlenta_sqlite PROPERTIES C_EXTENSIONS ON)
# Third-party code keeps its own warnings; it is not held to the project's flags.
if(MSVC)
  target_compile_options(orlenta_sqlite PRIVATE /W1)
else()
  target_compile_options(orlenta_sqlite PRIVATE -w)
endif()
