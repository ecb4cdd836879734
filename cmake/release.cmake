# The shipped executable as Windows meets it: stripped, reproducible,
# manifested, versioned and, when the builder gives a certificate, signed.
# Included by the top-level CMakeLists.txt before any target is made.
#
# Provides:
#   lunko_release_image(target)  stripped, time-stamp-free image with the
#                                manifest and version resource of installer.rc
#   lunko_sign(target)           signs the target's file after the link when
#                                LUNKO_SIGN_CERT and LUNKO_SIGN_KEY are set
# Cache variables:
#   LUNKO_SIGN_CERT, LUNKO_SIGN_KEY, LUNKO_SIGN_PASSWORD_FILE
#                                certificate (PEM or DER, or a PKCS#12 file
#                                given as LUNKO_SIGN_CERT alone) and key for
#                                osslsigncode; empty (default) signs nothing
#   LUNKO_PAGE_ALIGNED_IMAGE     file alignment of 4,096 bytes (default ON)
include_guard(GLOBAL)

# No build path may reach an object file: two clean builds of one commit in
# two folders give the same bytes.
# Every function and datum in its own section, so that the release link can
# drop what nothing calls.
add_compile_options(-ffunction-sections -fdata-sections
  "-ffile-prefix-map=${CMAKE_SOURCE_DIR}=."
  "-ffile-prefix-map=${CMAKE_BINARY_DIR}=build")

set(LUNKO_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
set(LUNKO_VERSION_FOUR "${LUNKO_VERSION_TEXT}.0")
set(_lunko_release_dir "${CMAKE_BINARY_DIR}/release")
configure_file("${CMAKE_CURRENT_LIST_DIR}/../resources/installer.manifest.in"
               "${_lunko_release_dir}/installer.manifest" @ONLY)
file(CONFIGURE OUTPUT "${_lunko_release_dir}/lunko_version.h" CONTENT
"// Made by cmake/release.cmake from project(VERSION) of CMakeLists.txt.
#define LUNKO_VERSION_MAJOR ${PROJECT_VERSION_MAJOR}
#define LUNKO_VERSION_MINOR ${PROJECT_VERSION_MINOR}
#define LUNKO_VERSION_PATCH ${PROJECT_VERSION_PATCH}
#define LUNKO_VERSION_TEXT \"${LUNKO_VERSION_TEXT}\"
")

# Every program that compiles resources/installer.rc (the installer, test
# programs that show its dialogs) finds the manifest and version header here.
include_directories("${_lunko_release_dir}")

option(LUNKO_PAGE_ALIGNED_IMAGE
  "Align the installer's sections in its file to whole pages, so that Wine maps the image instead of reading it into private memory"
  ON)

function(lunko_release_image target)
  set_property(SOURCE "${CMAKE_SOURCE_DIR}/resources/installer.rc" APPEND PROPERTY
    OBJECT_DEPENDS "${_lunko_release_dir}/installer.manifest;${_lunko_release_dir}/lunko_version.h")
  # -s: no debugging sections in the shipped file. No link time stamp.
  # Subsystem 4.0: the oldest the loaders of Windows 95 and NT 4.0 accept
  # that still gives the three-dimensional dialog look on current Windows
  # (a 3.x image is drawn as a Windows 3 program). See the README.
  target_link_options(${target} PRIVATE -s -Wl,--gc-sections -Wl,--no-insert-timestamp
    -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
    -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
  if(LUNKO_PAGE_ALIGNED_IMAGE)
    target_link_options(${target} PRIVATE -Wl,--file-alignment,4096)
  endif()
endfunction()

set(LUNKO_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate for osslsigncode; empty signs nothing")
set(LUNKO_SIGN_KEY "" CACHE FILEPATH "Private key of LUNKO_SIGN_CERT")
set(LUNKO_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the key's password, if it has one")

# The signing command for `in` -> `out`, as a list, in `var`; empty when no
# certificate was given. Also used by the signing test with its own
# throwaway certificate (cert, key).
function(lunko_sign_command var cert key in out)
  find_program(LUNKO_OSSLSIGNCODE osslsigncode)
  if(NOT LUNKO_OSSLSIGNCODE)
    message(FATAL_ERROR "osslsigncode is missing: signing needs it (Debian package osslsigncode)")
  endif()
  set(cmd "${LUNKO_OSSLSIGNCODE}" sign -h sha256 -n "Lunkovan Zavav Irazaz Installer")
  if(key)
    list(APPEND cmd -certs "${cert}" -key "${key}")
  else()
    list(APPEND cmd -pkcs12 "${cert}")
  endif()
  if(LUNKO_SIGN_PASSWORD_FILE)
    list(APPEND cmd -readpass "${LUNKO_SIGN_PASSWORD_FILE}")
  endif()
  list(APPEND cmd -in "${in}" -out "${out}")
  set(${var} "${cmd}" PARENT_SCOPE)
endfunction()

function(lunko_sign target)
  if(NOT LUNKO_SIGN_CERT)
    return()
  endif()
  set(file "$<TARGET_FILE:${target}>")
  lunko_sign_command(cmd "${LUNKO_SIGN_CERT}" "${LUNKO_SIGN_KEY}" "${file}" "${file}.signing")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${CMAKE_COMMAND}" -E remove -f "${file}.signing"
    COMMAND ${cmd}
    COMMAND "${CMAKE_COMMAND}" -E rename "${file}.signing" "${file}"
    COMMENT "Signing ${target} with ${LUNKO_SIGN_CERT}"
    VERBATIM)
endfunction()
