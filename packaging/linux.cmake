# What a Linux install puts in place besides the program, its tray module,
# icons, desktop entry and udev rule (src/platform/linux): the man page,
# shell completions, AppStream metainfo, the systemd user unit, the example
# settings file, and for the Debian package its copyright file, changelog and
# lintian overrides.
include(GNUInstallDirs)

set(QS_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(QS_LINUX_RESOURCES ${PROJECT_SOURCE_DIR}/resources/linux)
set(QS_RELEASE_DATE 2026-12-07)
set(QS_INSTALL_STAGE ${CMAKE_BINARY_DIR}/install-stage)

# Installs `template` configured when it is installed, not when the build is
# configured: the package installs under /usr while the build's prefix is
# /usr/local, and a file that names the program must name where it ends up.
# In the template, @QS_INSTALLED_EXECUTABLE@ is the program under the prefix
# being installed to.
function(qs_install_configured template destination name)
  install(CODE "
    set(QS_INSTALLED_EXECUTABLE \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quembrastella-switch\")
    set(PROJECT_VERSION \"${PROJECT_VERSION}\")
    set(QS_RELEASE_DATE \"${QS_RELEASE_DATE}\")
    configure_file(\"${template}\" \"${QS_INSTALL_STAGE}/${name}\" @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${destination}\" TYPE FILE
         FILES \"${QS_INSTALL_STAGE}/${name}\")
  ")
endfunction()

# Installs `file` into `system_folder` when the prefix is /usr (a package)
# and into `local_folder` otherwise, both absolute or under the prefix.
function(qs_install_by_prefix file system_folder local_folder)
  install(CODE "
    if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
      set(_qs_folder \"${system_folder}\")
    else()
      set(_qs_folder \"${local_folder}\")
    endif()
    if(NOT IS_ABSOLUTE \"\${_qs_folder}\")
      set(_qs_folder \"\${CMAKE_INSTALL_PREFIX}/\${_qs_folder}\")
    endif()
    file(INSTALL DESTINATION \"\${_qs_folder}\" TYPE FILE FILES \"${file}\")
  ")
endfunction()

# The man page, from scdoc, compressed as man pages are shipped.
find_program(QS_SCDOC scdoc)
if(QS_SCDOC)
  set(QS_MAN_SOURCE ${PROJECT_SOURCE_DIR}/docs/quembrastella-switch.1.scd)
  set(QS_MAN_PAGE ${CMAKE_BINARY_DIR}/man/quembrastella-switch.1)
  add_custom_command(OUTPUT ${QS_MAN_PAGE}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND sh -c "\"$0\" < \"$1\" > \"$2\"" ${QS_SCDOC} ${QS_MAN_SOURCE} ${QS_MAN_PAGE}
    COMMAND sh -c "gzip -9nc \"$0\" > \"$0.gz\"" ${QS_MAN_PAGE}
    DEPENDS ${QS_MAN_SOURCE}
    COMMENT "Man page quembrastella-switch(1)"
    VERBATIM)
  add_custom_target(qs_man_page ALL DEPENDS ${QS_MAN_PAGE}.gz)
  install(FILES ${QS_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "scdoc is missing, so the man page is not built: apt-get install scdoc "
                  "(scripts/setup-debian.sh installs it)")
endif()

# Shell completions. zsh reads /usr/share/zsh/vendor-completions for packages
# and /usr/local/share/zsh/site-functions for local installs.
install(FILES ${QS_LINUX_RESOURCES}/completions/quembrastella-switch.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME quembrastella-switch)
qs_install_by_prefix(${QS_LINUX_RESOURCES}/completions/_quembrastella-switch
                     ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions
                     ${CMAKE_INSTALL_DATADIR}/zsh/site-functions)

# AppStream metainfo, named after the desktop ID.
qs_install_configured(${QS_LINUX_RESOURCES}/org.quembrastella.switch.metainfo.xml.in
                      ${CMAKE_INSTALL_DATADIR}/metainfo org.quembrastella.switch.metainfo.xml)

# The systemd user unit: installed, never enabled here (docs/linux.md).
qs_install_configured(${QS_LINUX_RESOURCES}/quembrastella-switch.service
                      lib/systemd/user quembrastella-switch.service)

# Every setting with its default, to copy to ~/.config/quembrastella-switch/
# (tests/unit/settings_example_test.cpp keeps it complete and valid), and the
# hooks' guide, which the man page points to.
install(FILES ${QS_LINUX_RESOURCES}/config.toml.example ${PROJECT_SOURCE_DIR}/docs/hooks.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quembrastella-switch)

# The Debian package's copyright file and changelog.
set(QS_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/debian/changelog.gz)
add_custom_command(OUTPUT ${QS_CHANGELOG_GZ}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/debian
  COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${QS_PACKAGING_DIR}/debian/changelog ${QS_CHANGELOG_GZ}
  DEPENDS ${QS_PACKAGING_DIR}/debian/changelog
  VERBATIM)
add_custom_target(qs_changelog ALL DEPENDS ${QS_CHANGELOG_GZ})
install(FILES ${QS_PACKAGING_DIR}/debian/copyright ${QS_CHANGELOG_GZ}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quembrastella-switch)
# The project has no web site and names none; AppStream 1.0 (Debian 13) warns
# of that, and so does the lintian that runs it, which alone knows the tag the
# override names. The metainfo check (tests/packaging) uses the same version.
find_program(QS_APPSTREAMCLI appstreamcli)
set(QS_APPSTREAM_WARNS_WITHOUT_HOMEPAGE OFF)
if(QS_APPSTREAMCLI)
  execute_process(COMMAND ${QS_APPSTREAMCLI} --version OUTPUT_VARIABLE _qs_appstream ERROR_QUIET)
  if(_qs_appstream MATCHES "version: ([0-9.]+)" AND CMAKE_MATCH_1 VERSION_GREATER_EQUAL 1.0)
    set(QS_APPSTREAM_WARNS_WITHOUT_HOMEPAGE ON)
  endif()
endif()
if(QS_APPSTREAM_WARNS_WITHOUT_HOMEPAGE)
  install(FILES ${QS_PACKAGING_DIR}/debian/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME quembrastella-switch)
endif()
