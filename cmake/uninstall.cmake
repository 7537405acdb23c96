# Uninstall: "cmake --build BUILD --target uninstall" removes the files that
# the last "cmake --install" listed in install_manifest.txt, then each
# folder the installs made, only when it is empty. Folders that were there
# before (/usr/local/include, ~/.local/bin) stay: each install notes, before
# it writes anything, which of its folders are missing.
#
# Included by the install script: lsmtp_note_missing_folders(RECORD FOLDER...)
# adds to RECORD each FOLDER (absolute, DESTDIR included) that does not
# exist yet, with its missing parents.
# Run by the uninstall target: cmake -DMANIFEST=FILE -DRECORD=FILE -P uninstall.cmake

function(lsmtp_note_missing_folders record)
  set(made "")
  if(EXISTS "${record}")
    file(STRINGS "${record}" made)
  endif()
  foreach(folder IN LISTS ARGN)
    while(NOT EXISTS "${folder}")
      list(APPEND made "${folder}")
      get_filename_component(folder "${folder}" DIRECTORY)
    endwhile()
  endforeach()
  list(REMOVE_DUPLICATES made)
  list(JOIN made "\n" text)
  file(WRITE "${record}" "${text}\n")
endfunction()

if(NOT DEFINED MANIFEST)
  return()
endif()
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "${MANIFEST} does not exist: nothing was installed from this build")
endif()
file(STRINGS "${MANIFEST}" files)
foreach(path IN LISTS files)
  # The manifest names files without DESTDIR; a staged install is undone
  # where it was staged, never in the live tree.
  set(path "$ENV{DESTDIR}${path}")
  if(EXISTS "${path}" OR IS_SYMLINK "${path}")
    message(STATUS "Removing ${path}")
    file(REMOVE "${path}")
  endif()
endforeach()
if(EXISTS "${RECORD}")
  file(STRINGS "${RECORD}" folders)
  # Deepest first: a folder under another sorts after it.
  list(SORT folders)
  list(REVERSE folders)
  foreach(folder IN LISTS folders)
    file(GLOB children LIST_DIRECTORIES true "${folder}/*")
    if(IS_DIRECTORY "${folder}" AND NOT children)
      message(STATUS "Removing ${folder}/")
      file(REMOVE_RECURSE "${folder}")
    endif()
  endforeach()
  file(REMOVE "${RECORD}")
endif()
