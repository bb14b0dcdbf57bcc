# What the Windows build takes from Debian besides the cross-compiler:
# header-only libraries seen through a folder of their own (never the whole
# /usr/include, whose glibc headers would clash with mingw's), GoogleTest
# built from Debian's sources, and SQLite compiled from Debian's source
# package (scripts/fetch_sqlite_source.sh).
set(header_view ${CMAKE_BINARY_DIR}/views/debian-headers)
file(MAKE_DIRECTORY ${header_view})
foreach(folder nlohmann CLI)
  if(NOT EXISTS ${header_view}/${folder})
    file(CREATE_LINK /usr/include/${folder} ${header_view}/${folder} SYMBOLIC)
  endif()
endforeach()

add_library(nlohmann_json_headers INTERFACE)
target_include_directories(nlohmann_json_headers SYSTEM INTERFACE ${header_view})
add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json_headers)
set(nlohmann_json_FOUND TRUE)
add_library(cli11_headers INTERFACE)
target_include_directories(cli11_headers SYSTEM INTERFACE ${header_view})
add_library(CLI11::CLI11 ALIAS cli11_headers)

# SQLite: the amalgamation made from Debian's sqlite3 source package.
set(sqlite_source ${CMAKE_BINARY_DIR}/sqlite3-source)
if(NOT EXISTS ${sqlite_source}/sqlite3.c)
  execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/fetch_sqlite_source.sh ${sqlite_source}
                  RESULT_VARIABLE fetched)
  if(NOT fetched EQUAL 0)
    message(FATAL_ERROR "SQLite's source could not be fetched (scripts/fetch_sqlite_source.sh)")
  endif()
endif()
add_library(sqlite3_static STATIC ${sqlite_source}/sqlite3.c)
target_include_directories(sqlite3_static SYSTEM PUBLIC ${sqlite_source})
# SQLite's own code is not held to the project's warnings.
target_compile_options(sqlite3_static PRIVATE -w)
target_compile_definitions(sqlite3_static PUBLIC SQLITE_THREADSAFE=1 PRIVATE SQLITE_OMIT_LOAD_EXTENSION)
add_library(SQLite::SQLite3 ALIAS sqlite3_static)
set(SQLite3_FOUND TRUE)
