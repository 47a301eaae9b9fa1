# The Windows packages, made in the Windows build folder from the install rules:
#   cpack -G NSIS    nandell-<version>-win64.exe, an installer (Debian's nsis package makes it)
#   cpack -G ZIP     nandell-<version>-win64.zip, the same files to unpack and run anywhere
# (`cmake --build build-win --target package` makes both). Both hold the programs at the top
# of one folder and the English catalog in locale\ beside them (the layout CMakeLists.txt sets
# for Windows), where the programs look for it.

# The window, when this build makes it, goes beside nandell-cli.exe and gets the Start-menu
# entry. Without it there is no program entry: nandell-cli.exe started from a shortcut would
# print its usage in a console that closes at once.
if(TARGET nandell)
  install(TARGETS nandell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_FILE_NAME nandell-${PROJECT_VERSION}-win64)

# Installed into the 64-bit Program Files\Nandell by a 64-bit installer (the programs are
# 64-bit only), known to Windows as "Nandell": its Start-menu folder, its entry among the
# installed programs (with the uninstaller) and its registry keys.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Nandell)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Nandell)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME Nandell)
set(CPACK_NSIS_DISPLAY_NAME Nandell)
# No licence has been chosen yet (packaging/copyright): there is none to agree to.
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
# A new version installed over an old one first removes the old one's files, silently.
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# The uninstaller takes the vendor's registry key too when nothing else is left in it.
# (NSIS text in CPack's settings: a backslash is written as four.)
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "DeleteRegKey SHCTX 'Software\\\\Nandell\\\\Nandell'
  DeleteRegKey /ifempty SHCTX 'Software\\\\Nandell'")
# The icon of the program's entry among the installed ones: the window's, else the uninstaller's.
set(CPACK_NSIS_INSTALLED_ICON_NAME Uninstall.exe)
if(TARGET nandell)
  set(CPACK_NSIS_INSTALLED_ICON_NAME nandell.exe)
  set(CPACK_NSIS_CREATE_ICONS_EXTRA
      "CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\Nandell.lnk' '$INSTDIR\\\\nandell.exe'")
  set(CPACK_NSIS_DELETE_ICONS_EXTRA "Delete '$SMPROGRAMS\\\\$MUI_TEMP\\\\Nandell.lnk'")
endif()
include(CPack)
