# lsmtp_add_version_resource(TARGET FILE_NAME FILE_TYPE DESCRIPTION) gives a
# Windows module the version information that Explorer and software
# inventories read. FILE_TYPE is VFT_DLL or VFT_APP. The copyright line and
# the authors come from LICENSE, so that they cannot drift from it.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE LSMTP_RC_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
string(REGEX REPLACE "^Copyright \\([cC]\\) [-0-9, ]+ " "" LSMTP_RC_AUTHORS "${LSMTP_RC_COPYRIGHT}")
if(LSMTP_RC_COPYRIGHT STREQUAL "" OR LSMTP_RC_AUTHORS STREQUAL LSMTP_RC_COPYRIGHT)
  message(FATAL_ERROR "LICENSE has no line \"Copyright (c) YEAR AUTHORS\"")
endif()

function(lsmtp_add_version_resource target file_name file_type description)
  set(LSMTP_RC_FILE_NAME ${file_name})
  get_filename_component(LSMTP_RC_INTERNAL_NAME ${file_name} NAME_WE)
  set(LSMTP_RC_FILE_TYPE ${file_type})
  set(LSMTP_RC_DESCRIPTION "${description}")
  set(resource ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/lsmtp.rc.in ${resource} @ONLY)
  target_sources(${target} PRIVATE ${resource})
endfunction()
