# SQLite is compiled from the official amalgamation that scripts/fetch-sqlite places in the
# build tree; it is never part of the repository.
if(NOT KV_SQLITE_DIR)
  set(KV_SQLITE_DIR ${PROJECT_SOURCE_DIR}/build/deps/sqlite)
endif()
if(NOT EXISTS ${KV_SQLITE_DIR}/sqlite3.c)
  message(FATAL_ERROR "sqlite3.c not found in ${KV_SQLITE_DIR}: run scripts/fetch-sqlite first")
endif()
add_library(sqlite3 STATIC ${KV_SQLITE_DIR}/sqlite3.c)
target_include_directories(sqlite3 SYSTEM PUBLIC ${KV_SQLITE_DIR})
target_compile_definitions(sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION SQLITE_DQS=0
  SQLITE_DEFAULT_MEMSTATUS=0 SQLITE_OMIT_DEPRECATED)
target_compile_options(sqlite3 PRIVATE -O2 -w)
