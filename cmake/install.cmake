# Install rules: `cmake --install build --prefix P` lays the program out as
# the Debian package does below /usr. Included after src/ so that every
# program target exists already.
include(GNUInstallDirs)

# Fixed, not GNUInstallDirs: an installed brevan finds its database reader and its folder helper
# from its own location, <prefix>/bin/brevan -> <prefix>/libexec/brevan/.
install(TARGETS brevan RUNTIME DESTINATION bin)
if(TARGET brevan-reader)
  install(TARGETS brevan-reader RUNTIME DESTINATION libexec/brevan)
endif()
install(TARGETS brevan-folder RUNTIME DESTINATION libexec/brevan)

add_subdirectory(share)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/brevan)
