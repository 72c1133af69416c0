# Install-time part of the desktop integration. It runs inside `cmake --install`, so the
# launcher and the manual name the prefix really installed to, also with --prefix.
# Set by the caller: ZS_DESKTOP_TEMPLATES, ZS_MANUAL_TEMPLATE, ZS_DESKTOP_STAGING,
# ZS_LAUNCHER_DIR, ZS_DESKTOP_PREFIX.
set(ZS_PROGRAM_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(ZS_LAUNCHER "${ZS_LAUNCHER_DIR}/ZembrovaneSequencer")

configure_file("${ZS_DESKTOP_TEMPLATES}/ZembrovaneSequencer.in" "${ZS_DESKTOP_STAGING}/ZembrovaneSequencer" @ONLY)
configure_file("${ZS_DESKTOP_TEMPLATES}/zembrovane-sequencer.desktop.in"
  "${ZS_DESKTOP_STAGING}/zembrovane-sequencer.desktop" @ONLY)
configure_file("${ZS_MANUAL_TEMPLATE}" "${ZS_DESKTOP_STAGING}/ZembrovaneSequencer.1" @ONLY)

file(INSTALL DESTINATION "${ZS_LAUNCHER_DIR}" TYPE PROGRAM FILES "${ZS_DESKTOP_STAGING}/ZembrovaneSequencer")
file(INSTALL DESTINATION "${ZS_DESKTOP_PREFIX}/share/applications" TYPE FILE
  FILES "${ZS_DESKTOP_STAGING}/zembrovane-sequencer.desktop")
# The manual where man looks by default, and beside the program for `man -l`.
foreach(man_prefix IN ITEMS "${ZS_DESKTOP_PREFIX}" "${CMAKE_INSTALL_PREFIX}")
  file(INSTALL DESTINATION "${man_prefix}/share/man/man1" TYPE FILE FILES "${ZS_DESKTOP_STAGING}/ZembrovaneSequencer.1")
endforeach()
