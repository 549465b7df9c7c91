# Install rules: `cmake --install build --prefix P` lays the program out as
# the Debian package does below /usr. Included after src/ so that every
# program target exists already.
include(GNUInstallDirs)

# Fixed, not GNUInstallDirs: an installed brevan runs its database reader
# and its folder helper from <prefix>/libexec/brevan/, the path src/os fixes at build time.
install(TARGETS brevan RUNTIME DESTINATION bin)
# The XMLTV grabber goes on PATH, where tvheadend and tv_find_grabbers look for tv_grab_*.
install(TARGETS tv_grab_de_brevan RUNTIME DESTINATION bin)
install(TARGETS brevan-reader RUNTIME DESTINATION libexec/brevan)
install(TARGETS brevan-folder RUNTIME DESTINATION libexec/brevan)

add_subdirectory(share)
# The licence in Debian's machine-readable copyright format, where Debian
# looks for it; its full text is in base-files' common-licenses.
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/brevan)
install(FILES share/copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/brevan)
