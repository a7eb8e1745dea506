# Turns a schema's .sql files into a C++ source with one raw string per
# file, in file-name order (the run order).
# Usage: cmake -DOUTPUT=<file.inc> -DSOURCES=<a.sql;b.sql> -P EmbedSql.cmake
list(SORT SOURCES)
set(content "// Generated from .sql files at build time; do not edit.\n")
foreach(source IN LISTS SOURCES)
    file(READ "${source}" text)
    if(text MATCHES "\\)orvellasql\"")
        message(FATAL_ERROR "${source} contains the raw-string delimiter")
    endif()
    get_filename_component(name "${source}" NAME)
    string(APPEND content "{\"${name}\", R\"orvellasql(${text})orvellasql\"},\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "${content}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
