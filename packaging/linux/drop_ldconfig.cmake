# Run by cpack after it has made the packages: takes out the maintainer
# scripts CPack adds for any shared object under /usr/lib/*.
#
# The engine module /usr/lib/kivo/kivo-web.so is opened by path by the
# program, not found by the dynamic linker, so running ldconfig on install
# and removal does nothing for it; without the scripts the package has none
# at all, and installing or removing it touches no file outside its list.
# A script that does anything besides that ldconfig call is left alone.
set(_ldconfig_only "^#!/bin/sh\n\nset -e\n\nif \\[ \"\\$1\" = \"(configure|remove)\" \\]; then\n\tldconfig\nfi\n?$")
foreach(_deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT _deb MATCHES "\\.deb$")
    continue()
  endif()
  set(_tree ${_deb}.tree)
  file(REMOVE_RECURSE ${_tree})
  execute_process(COMMAND dpkg-deb -R ${_deb} ${_tree} COMMAND_ERROR_IS_FATAL ANY)
  set(_dropped FALSE)
  foreach(_script postinst postrm)
    set(_path ${_tree}/DEBIAN/${_script})
    if(EXISTS ${_path})
      file(READ ${_path} _text)
      if(_text MATCHES "${_ldconfig_only}")
        file(REMOVE ${_path})
        set(_dropped TRUE)
      endif()
    endif()
  endforeach()
  if(_dropped)
    execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build ${_tree} ${_deb}
                    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  endif()
  file(REMOVE_RECURSE ${_tree})
endforeach()
