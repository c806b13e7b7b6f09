# Writes OUT with the git revision of SOURCE_DIR ("3f7f6b6", "3f7f6b6-dirty"), or an empty one
# outside a checkout (a source package); the file is rewritten only when the revision changed,
# so a build after a commit recompiles one file.
execute_process(COMMAND git -C "${SOURCE_DIR}" describe --always --dirty --abbrev=7
                OUTPUT_VARIABLE revision OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT EXISTS "${SOURCE_DIR}/.git")
  set(revision "")
endif()
set(text "#pragma once\n#define SVG_BUILD_REVISION \"${revision}\"\n")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT "${old}" STREQUAL "${text}")
  file(WRITE "${OUT}" "${text}")
endif()
