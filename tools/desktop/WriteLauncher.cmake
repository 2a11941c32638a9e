# Run by "cmake --install": writes the launcher with the program's installed
# path, which is known only now (--prefix may differ from the configured prefix).
set(program "${CMAKE_INSTALL_PREFIX}/tandrel")
# Inside a quoted Exec argument these four are escaped with a backslash, and the
# file format doubles each backslash again; a literal percent sign is "%%".
string(REPLACE "\\" "\\\\\\\\" exec "${program}")
string(REPLACE "\"" "\\\\\"" exec "${exec}")
string(REPLACE "`" "\\\\`" exec "${exec}")
string(REPLACE "$" "\\\\$" exec "${exec}")
string(REPLACE "%" "%%" exec "${exec}")
set(TANDREL_EXEC "\"${exec}\"")
# TryExec is a plain string, not a command line: only the format's own escape.
string(REPLACE "\\" "\\\\" TANDREL_TRYEXEC "${program}")
set(launcher "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/applications/tandrel.desktop")
message(STATUS "Installing: ${launcher}")
configure_file("${TANDREL_LAUNCHER_TEMPLATE}" "${launcher}" @ONLY)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${launcher}")
