# The installer's payload: host tools, the demo payload, packing into
# resources, the icons. Included by the top-level (cross-compiling)
# CMakeLists.txt.
#
# Provides, in the including scope:
#   PAYLOAD_FILES_DIR    folder of the plain payload files that are packed
#   PAYLOAD_RC           generated resource script binding every <id>.z to
#                        its id as type "TEXT"; add it to the installer's
#                        sources and make the installer depend on `payload`
#   LUNKO_CATALOGUE_SOURCE
#                        generated C++ source of the payload catalogue table
#                        (payload/catalogue.h), made from the payload list
#                        by target lunko_catalogue, on which whatever
#                        compiles it must depend
#   INSTALLER_ICON       the installer's icon (icon 104), a .ico file
#   target payload       makes all of the above
#   target demoapp       the demo program (Win32 GUI) that stands in for the
#                        installed programs of a demo payload
#   target lunko_host_tools, LUNKO_PACKER, LUNKO_GLYPHSHEET,
#   LUNKO_DEMOPAYLOAD, LUNKO_MKICON, LUNKO_DAMAGEPAYLOAD, LUNKO_MSISTAMP
#                        the host tools and their paths (build machine
#                        executables, for tests that run them directly)
#   lunko_pack_payload(NAME LIST FROM OUTDIR)
#                        packs another payload list (same format) from the
#                        folder FROM into OUTDIR; creates target NAME whose
#                        output is OUTDIR/payload.rc, and sets NAME_RC to
#                        that path
# Cache variable:
#   LUNKO_PAYLOAD_DIR    folder of real payload files; empty (the default)
#                        makes a demo payload in ${CMAKE_BINARY_DIR}/payload-files
include_guard(GLOBAL)
include(ExternalProject)

set(LUNKO_PAYLOAD_DIR "" CACHE PATH
    "Folder holding the real payload files named in resources/payload.list; empty builds a demo payload")
set(LUNKO_UNIFONT_HEX "/usr/share/unifont/unifont.hex" CACHE FILEPATH
    "GNU Unifont hex file (Debian package unifont) that the demo glyph sheets are drawn from")

get_filename_component(_lunko_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(LUNKO_PAYLOAD_LIST "${_lunko_root}/resources/payload.list")

# --- Host tools --------------------------------------------------------------
# They run on the build machine, so they are a separate CMake project that
# must not see the cross toolchain: the toolchain variable and compiler
# choices are removed from the environment of its configure step.
set(LUNKO_HOST_DIR "${CMAKE_BINARY_DIR}/host")
set(LUNKO_PACKER "${LUNKO_HOST_DIR}/packer")
set(LUNKO_GLYPHSHEET "${LUNKO_HOST_DIR}/glyphsheet")
set(LUNKO_DEMOPAYLOAD "${LUNKO_HOST_DIR}/demopayload")
set(LUNKO_MKICON "${LUNKO_HOST_DIR}/mkicon")
set(LUNKO_CATALOGUETABLE "${LUNKO_HOST_DIR}/cataloguetable")
set(LUNKO_DAMAGEPAYLOAD "${LUNKO_HOST_DIR}/damagepayload")

set(_lunko_host_configure
    ${CMAKE_COMMAND} -E env --unset=CMAKE_TOOLCHAIN_FILE --unset=CC --unset=CXX
    ${CMAKE_COMMAND} -G "${CMAKE_GENERATOR}" -DCMAKE_BUILD_TYPE=Release)
if(CMAKE_GENERATOR MATCHES "Ninja")
  list(APPEND _lunko_host_configure "-DCMAKE_MAKE_PROGRAM=${CMAKE_MAKE_PROGRAM}")
endif()
list(APPEND _lunko_host_configure <SOURCE_DIR>)
if(CMAKE_GENERATOR MATCHES "Make")
  set(_lunko_host_build $(MAKE))  # shares the parent make's job slots
else()
  set(_lunko_host_build ${CMAKE_COMMAND} --build <BINARY_DIR>)
endif()

ExternalProject_Add(lunko_host_tools
  SOURCE_DIR "${_lunko_root}/tools"
  BINARY_DIR "${LUNKO_HOST_DIR}"
  CONFIGURE_COMMAND ${_lunko_host_configure}
  BUILD_COMMAND ${_lunko_host_build}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS "${LUNKO_PACKER}" "${LUNKO_GLYPHSHEET}" "${LUNKO_DEMOPAYLOAD}" "${LUNKO_MKICON}"
    "${LUNKO_CATALOGUETABLE}" "${LUNKO_DAMAGEPAYLOAD}")

# --- Payload list ------------------------------------------------------------
# Reads a payload list at configure time; sets <prefix>_IDS and
# <prefix>_NAMES (same order). The packer does the real validation; this
# only needs the ids and names to declare the build's files.
function(_lunko_read_payload_list list prefix)
  if(NOT EXISTS "${list}")
    message(FATAL_ERROR "Payload list ${list} does not exist")
  endif()
  file(STRINGS "${list}" _lines)
  set(_ids "")
  set(_names "")
  foreach(_line IN LISTS _lines)
    if(_line MATCHES "^[ \t]*([0-9]+)[ \t]+[a-z]+[ \t]+([^ \t\r]+)")
      list(APPEND _ids "${CMAKE_MATCH_1}")
      list(APPEND _names "${CMAKE_MATCH_2}")
    endif()
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${list}")
  set(${prefix}_IDS "${_ids}" PARENT_SCOPE)
  set(${prefix}_NAMES "${_names}" PARENT_SCOPE)
endfunction()

# Adds the command that packs list from the folder from into outdir; sets
# <stamp_var> to the file that marks a successful run. With per_file the
# command depends on each payload file; without it, extra_depends must stand
# for them (the stamp of the command that makes them). The .z files and
# payload.rc are byproducts: the packer leaves unchanged ones untouched, so
# nothing downstream rebuilds when the payload did not change.
function(_lunko_add_pack_command list from outdir per_file extra_depends stamp_var)
  _lunko_read_payload_list("${list}" _pl)
  set(_byproducts "${outdir}/payload.rc")
  foreach(_id IN LISTS _pl_IDS)
    list(APPEND _byproducts "${outdir}/${_id}.z")
  endforeach()
  # Depend on every payload file that exists or that the build makes; a
  # missing one is left to the packer, which names it and its limit, where
  # a dependency would only fail with "no rule to make target".
  set(_files "")
  if(NOT per_file)
    set(_pl_NAMES "")
  endif()
  foreach(_name IN LISTS _pl_NAMES)
    set(_file "${from}/${_name}")
    get_source_file_property(_generated "${_file}" GENERATED)
    if(EXISTS "${_file}" OR _generated)
      list(APPEND _files "${_file}")
    endif()
  endforeach()
  set(_stamp "${outdir}/payload.stamp")
  add_custom_command(
    OUTPUT "${_stamp}"
    BYPRODUCTS ${_byproducts}
    COMMAND "${LUNKO_PACKER}" "${list}" "${from}" "${outdir}"
    COMMAND "${CMAKE_COMMAND}" -E touch "${_stamp}"
    DEPENDS "${LUNKO_PACKER}" lunko_host_tools "${list}" ${_files} ${extra_depends}
    COMMENT "Packing the payload of ${list}"
    VERBATIM)
  set(${stamp_var} "${_stamp}" PARENT_SCOPE)
endfunction()

function(lunko_pack_payload NAME LIST FROM OUTDIR)
  get_filename_component(_list "${LIST}" ABSOLUTE)
  get_filename_component(_from "${FROM}" ABSOLUTE)
  get_filename_component(_outdir "${OUTDIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  _lunko_add_pack_command("${_list}" "${_from}" "${_outdir}" ON "" _stamp)
  add_custom_target(${NAME} DEPENDS "${_stamp}")
  add_dependencies(${NAME} lunko_host_tools)
  set(${NAME}_RC "${_outdir}/payload.rc" PARENT_SCOPE)
endfunction()

# --- Icons and the demo program -------------------------------------------------
set(_lunko_icon_dir "${CMAKE_BINARY_DIR}/icons")
set(INSTALLER_ICON "${_lunko_icon_dir}/installer.ico")
set(_lunko_demoapp_icon "${_lunko_icon_dir}/demoapp.ico")
add_custom_command(
  OUTPUT "${INSTALLER_ICON}" "${_lunko_demoapp_icon}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${_lunko_icon_dir}"
  COMMAND "${LUNKO_MKICON}" installer "${INSTALLER_ICON}"
  COMMAND "${LUNKO_MKICON}" app "${_lunko_demoapp_icon}"
  DEPENDS "${LUNKO_MKICON}" lunko_host_tools
  COMMENT "Drawing the icons"
  VERBATIM)
add_custom_target(lunko_icons DEPENDS "${INSTALLER_ICON}" "${_lunko_demoapp_icon}")

enable_language(C)
enable_language(RC)
add_executable(demoapp WIN32
  "${_lunko_root}/tools/demoapp/demoapp.c"
  "${_lunko_root}/tools/demoapp/demoapp.rc")
# windres looks for the icon file on its include path.
target_include_directories(demoapp PRIVATE "${_lunko_icon_dir}")
set_source_files_properties("${_lunko_root}/tools/demoapp/demoapp.rc"
  PROPERTIES OBJECT_DEPENDS "${_lunko_demoapp_icon}")
add_dependencies(demoapp lunko_icons)
# Small, self-contained and the same bytes on every build (no link time
# stamp): it is padded into seven payload files, the smallest 64 KiB.
target_compile_options(demoapp PRIVATE -Os)
target_link_options(demoapp PRIVATE -s -static -Wl,--no-insert-timestamp)

# --- Payload files -------------------------------------------------------------
if(LUNKO_PAYLOAD_DIR)
  get_filename_component(PAYLOAD_FILES_DIR "${LUNKO_PAYLOAD_DIR}" ABSOLUTE)
  if(NOT IS_DIRECTORY "${PAYLOAD_FILES_DIR}")
    message(FATAL_ERROR "LUNKO_PAYLOAD_DIR ${PAYLOAD_FILES_DIR} is not a folder")
  endif()
  # A missing file is reported now, by name; found only at build time it
  # would leave the packing step without a dependency on it.
  _lunko_read_payload_list("${LUNKO_PAYLOAD_LIST}" _lunko_real)
  set(_lunko_missing "")
  foreach(_name IN LISTS _lunko_real_NAMES)
    if(NOT EXISTS "${PAYLOAD_FILES_DIR}/${_name}")
      string(APPEND _lunko_missing "\n  ${_name}")
    endif()
  endforeach()
  if(_lunko_missing)
    message(FATAL_ERROR "Payload files missing from ${PAYLOAD_FILES_DIR}:${_lunko_missing}")
  endif()
  set(_lunko_payload_ready "")
else()
  set(PAYLOAD_FILES_DIR "${CMAKE_BINARY_DIR}/payload-files")
  if(NOT EXISTS "${LUNKO_UNIFONT_HEX}")
    message(FATAL_ERROR "${LUNKO_UNIFONT_HEX} is missing: the demo glyph sheets are drawn from GNU Unifont "
                        "(Debian package unifont), or set LUNKO_UNIFONT_HEX")
  endif()
  find_program(LUNKO_WIXL wixl)
  if(NOT LUNKO_WIXL)
    message(FATAL_ERROR "wixl is missing: the demo speech package is built with it (Debian package wixl)")
  endif()

  set(_lunko_sheets "${CMAKE_BINARY_DIR}/glyphs/ChnBmp.bin")
  add_custom_command(
    OUTPUT "${_lunko_sheets}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_BINARY_DIR}/glyphs"
    COMMAND "${LUNKO_GLYPHSHEET}" "${LUNKO_UNIFONT_HEX}" "${_lunko_sheets}"
    DEPENDS "${LUNKO_GLYPHSHEET}" lunko_host_tools "${LUNKO_UNIFONT_HEX}"
    COMMENT "Drawing the glyph sheets from Unifont"
    VERBATIM)

  # wixl stamps the build time into the summary information, the packaged
  # file's modification time into the embedded cabinet, and a new package
  # code into every package. So that two builds give the same package (and
  # installer), it runs on a copy of its sources with a fixed file date,
  # under a fixed clock, and msibuild then writes a fixed package code.
  find_program(LUNKO_FAKETIME faketime)
  find_program(LUNKO_MSIBUILD msibuild)
  if(NOT LUNKO_FAKETIME OR NOT LUNKO_MSIBUILD)
    message(FATAL_ERROR "faketime and msibuild are missing: the demo speech package is made the same "
                        "on every build with them (Debian packages faketime and msitools)")
  endif()
  set(_lunko_speech "${CMAKE_BINARY_DIR}/speech")
  set(_lunko_msi "${_lunko_speech}/Sapi51forLunko.msi")
  set(_lunko_msi_package_code "{1C2D3E4F-5061-4728-9A3B-4C5D6E7F8091}")
  set(_lunko_msi_time "2026-01-01 00:00:00")
  add_custom_command(
    OUTPUT "${_lunko_msi}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${_lunko_speech}"
    COMMAND "${CMAKE_COMMAND}" -E copy "${_lunko_root}/tools/demo/speech.wxs"
            "${_lunko_root}/tools/demo/speech-readme.txt" "${_lunko_speech}"
    COMMAND "${CMAKE_COMMAND}" -E env TZ=UTC touch -d "${_lunko_msi_time}" "${_lunko_speech}/speech-readme.txt"
    COMMAND "${CMAKE_COMMAND}" -E env TZ=UTC "${LUNKO_FAKETIME}" -f "${_lunko_msi_time}"
            "${LUNKO_WIXL}" -o "${_lunko_msi}.part" "${_lunko_speech}/speech.wxs"
    COMMAND "${LUNKO_MSIBUILD}" "${_lunko_msi}.part" -s "Lunko Speech Component (demo)" "Lunko"
            "Intel;1033" "${_lunko_msi_package_code}"
    COMMAND "${CMAKE_COMMAND}" -E rename "${_lunko_msi}.part" "${_lunko_msi}"
    DEPENDS "${_lunko_root}/tools/demo/speech.wxs" "${_lunko_root}/tools/demo/speech-readme.txt"
    COMMENT "Building the demo speech package"
    VERBATIM)

  _lunko_read_payload_list("${LUNKO_PAYLOAD_LIST}" _lunko_demo)
  set(_lunko_demo_files "")
  foreach(_name IN LISTS _lunko_demo_NAMES)
    list(APPEND _lunko_demo_files "${PAYLOAD_FILES_DIR}/${_name}")
  endforeach()
  set(_lunko_payload_ready "${CMAKE_BINARY_DIR}/payload-files.stamp")
  add_custom_command(
    OUTPUT "${_lunko_payload_ready}"
    BYPRODUCTS ${_lunko_demo_files}
    COMMAND "${LUNKO_DEMOPAYLOAD}"
            --list "${LUNKO_PAYLOAD_LIST}" --out "${PAYLOAD_FILES_DIR}"
            --program "$<TARGET_FILE:demoapp>" --sheets "${_lunko_sheets}" --msi "${_lunko_msi}"
            --agreement-zh "${_lunko_root}/tools/demo/agreement_zh.utf8.txt"
            --agreement-en "${_lunko_root}/tools/demo/agreement_en.txt"
    COMMAND "${CMAKE_COMMAND}" -E touch "${_lunko_payload_ready}"
    DEPENDS "${LUNKO_DEMOPAYLOAD}" lunko_host_tools demoapp "${LUNKO_PAYLOAD_LIST}"
            "${_lunko_sheets}" "${_lunko_msi}"
            "${_lunko_root}/tools/demo/agreement_zh.utf8.txt"
            "${_lunko_root}/tools/demo/agreement_en.txt"
    COMMENT "Making the demo payload"
    VERBATIM)
endif()

# --- Packing ---------------------------------------------------------------------
set(_lunko_pack_dir "${CMAKE_BINARY_DIR}/payload")
set(PAYLOAD_RC "${_lunko_pack_dir}/payload.rc")
if(LUNKO_PAYLOAD_DIR)
  _lunko_add_pack_command("${LUNKO_PAYLOAD_LIST}" "${PAYLOAD_FILES_DIR}" "${_lunko_pack_dir}" ON ""
                          _lunko_pack_stamp)
else()
  # The demo files are declared by the stamp that makes them, not one by one.
  _lunko_add_pack_command("${LUNKO_PAYLOAD_LIST}" "${PAYLOAD_FILES_DIR}" "${_lunko_pack_dir}" OFF
                          "${_lunko_payload_ready}" _lunko_pack_stamp)
endif()
# The catalogue compiled into the installer is made from the list it is
# packed from, its total size from the files packed; the tool leaves an
# unchanged table untouched.
set(LUNKO_CATALOGUE_SOURCE "${CMAKE_BINARY_DIR}/catalogue/catalogue.cpp")
set(_lunko_catalogue_stamp "${CMAKE_BINARY_DIR}/catalogue/catalogue.stamp")
add_custom_command(
  OUTPUT "${_lunko_catalogue_stamp}"
  BYPRODUCTS "${LUNKO_CATALOGUE_SOURCE}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_BINARY_DIR}/catalogue"
  COMMAND "${LUNKO_CATALOGUETABLE}" "${LUNKO_PAYLOAD_LIST}" "${PAYLOAD_FILES_DIR}" "${LUNKO_CATALOGUE_SOURCE}"
  COMMAND "${CMAKE_COMMAND}" -E touch "${_lunko_catalogue_stamp}"
  DEPENDS "${LUNKO_CATALOGUETABLE}" lunko_host_tools "${LUNKO_PAYLOAD_LIST}"
          "${_lunko_root}/payload/catalogue.h" "${_lunko_pack_stamp}"
  COMMENT "Making the payload catalogue from ${LUNKO_PAYLOAD_LIST}"
  VERBATIM)
add_custom_target(lunko_catalogue DEPENDS "${_lunko_catalogue_stamp}")
add_dependencies(lunko_catalogue lunko_host_tools)
add_custom_target(payload DEPENDS "${_lunko_pack_stamp}" "${INSTALLER_ICON}")
add_dependencies(payload lunko_host_tools lunko_icons)
# The table's total is taken from the packed files: the packing runs first,
# in its own target (two targets running one command would race).
add_dependencies(lunko_catalogue payload)
