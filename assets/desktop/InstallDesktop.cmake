# Install-time part of the desktop integration. It runs inside `cmake --install`, so the
# launcher and the manual name the prefix really installed to, also with --prefix. The files
# are written straight to their destination (DESTDIR included), never into the build tree,
# so an install through sudo leaves nothing there that a later install as a user cannot replace.
# Set by the caller: ZS_DESKTOP_TEMPLATES, ZS_MANUAL_TEMPLATE, ZS_IMPORT_MANUAL_TEMPLATE, ZS_LAUNCHER_DIR,
# ZS_DESKTOP_PREFIX.
set(ZS_PROGRAM_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(ZS_LAUNCHER "${ZS_LAUNCHER_DIR}/ZembrovaneSequencer")

macro(zs_install_configured template directory name)
  set(zs_target "$ENV{DESTDIR}${directory}/${name}")
  message(STATUS "Installing: ${zs_target}")
  file(MAKE_DIRECTORY "$ENV{DESTDIR}${directory}")
  configure_file("${template}" "${zs_target}" @ONLY ${ARGN})
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${directory}/${name}")
endmacro()

set(zs_readable OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
zs_install_configured("${ZS_DESKTOP_TEMPLATES}/ZembrovaneSequencer.in" "${ZS_LAUNCHER_DIR}" ZembrovaneSequencer
  FILE_PERMISSIONS ${zs_readable} OWNER_EXECUTE GROUP_EXECUTE WORLD_EXECUTE)
# The importer needs no launcher script (it looks for nothing beside itself): a link on the PATH.
message(STATUS "Installing: $ENV{DESTDIR}${ZS_LAUNCHER_DIR}/zembrovane-import")
file(MAKE_DIRECTORY "$ENV{DESTDIR}${ZS_LAUNCHER_DIR}")
file(CREATE_LINK "${ZS_PROGRAM_PREFIX}/bin/zembrovane-import" "$ENV{DESTDIR}${ZS_LAUNCHER_DIR}/zembrovane-import" SYMBOLIC)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${ZS_LAUNCHER_DIR}/zembrovane-import")
zs_install_configured("${ZS_DESKTOP_TEMPLATES}/zembrovane-sequencer.desktop.in"
  "${ZS_DESKTOP_PREFIX}/share/applications" zembrovane-sequencer.desktop FILE_PERMISSIONS ${zs_readable})
# The manual where man looks by default, and beside the program for `man -l`.
foreach(zs_man_prefix IN ITEMS "${ZS_DESKTOP_PREFIX}" "${CMAKE_INSTALL_PREFIX}")
  zs_install_configured("${ZS_MANUAL_TEMPLATE}" "${zs_man_prefix}/share/man/man1" ZembrovaneSequencer.1
    FILE_PERMISSIONS ${zs_readable})
  zs_install_configured("${ZS_IMPORT_MANUAL_TEMPLATE}" "${zs_man_prefix}/share/man/man1" zembrovane-import.1
    FILE_PERMISSIONS ${zs_readable})
endforeach()
