# The shipped executable as Windows meets it: stripped, reproducible,
# manifested, versioned and, when the builder gives a certificate, signed.
# Included by the top-level CMakeLists.txt before any target is made.
#
# Provides:
#   lunko_release_image(target)  stripped, time-stamp-free image with the
#                                manifest and version resource of installer.rc
#                                and the installer's own entry point
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
# Every function in its own section, so that the release link can drop what
# nothing calls. Data keeps one section per object: GCC's PE target gives a
# zero-initialised datum of its own section the contents of initialised data,
# which put 7 KB of zeros into the file (a page) instead of into .bss.
add_compile_options(-ffunction-sections
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
#define LUNKO_MAKER \"${LUNKO_MAKER}\"
")

# Every program that compiles resources/installer.rc (the installer, test
# programs that show its dialogs) finds the manifest and version header here.
include_directories("${_lunko_release_dir}")

option(LUNKO_PAGE_ALIGNED_IMAGE
  "Align the installer's sections in its file to whole pages, so that Wine maps the image instead of reading it into private memory"
  ON)

# The linker's own script with four small sections folded into others.
# With page-aligned sections every section costs at least a page of the
# file, and on average half a page of padding: the C runtime's start-up
# tables (.CRT), the thread-local template (.tls) and the unwind tables
# (.eh_frame, never used: no exceptions) took 12 KiB; .data, about 100 bytes
# of initialised data once the zeros went to .bss, another page. The import
# tables are writable data too (the loader fills the address table), so
# .data goes at the end of .idata: the import directory is the start of the
# section named .idata, where the import descriptors must stay. The
# installer has no thread-local template (no start-up code of the runtime's
# sets one up), and the script asserts that none comes back: one there would
# no longer start its section. Made from `ld --verbose` of the toolchain in
# use; when its script does not have the expected statements the link keeps
# the default.
function(_lunko_cut_statement script_var head body_var)
  set(script "${${script_var}}")
  set(${body_var} "" PARENT_SCOPE)
  string(FIND "${script}" "${head}" at)
  if(at EQUAL -1)
    return()
  endif()
  string(SUBSTRING "${script}" ${at} -1 rest)
  string(FIND "${rest}" "{" open)
  string(FIND "${rest}" "}" close)
  math(EXPR body_start "${open} + 1")
  math(EXPR body_length "${close} - ${body_start}")
  string(SUBSTRING "${rest}" ${body_start} ${body_length} body)
  math(EXPR after_at "${at} + ${close} + 1")
  string(SUBSTRING "${script}" 0 ${at} before)
  string(SUBSTRING "${script}" ${after_at} -1 after)
  set(${script_var} "${before}${after}" PARENT_SCOPE)
  set(${body_var} "${body}" PARENT_SCOPE)
endfunction()

# Puts `text` into the statement that starts with `head`: just after its
# opening brace (FIRST) or just before its closing one (LAST).
function(_lunko_put_into script_var head where text)
  set(script "${${script_var}}")
  string(FIND "${script}" "${head}" at)
  string(SUBSTRING "${script}" ${at} -1 rest)
  if(where STREQUAL "FIRST")
    string(FIND "${rest}" "{" brace)
    math(EXPR brace "${brace} + 1")
  else()
    string(FIND "${rest}" "}" brace)
  endif()
  math(EXPR split "${at} + ${brace}")
  string(SUBSTRING "${script}" 0 ${split} before)
  string(SUBSTRING "${script}" ${split} -1 after)
  set(${script_var} "${before}${text}${after}" PARENT_SCOPE)
endfunction()

function(_lunko_fold_sections out)
  set(${out} "" PARENT_SCOPE)
  execute_process(COMMAND "${CMAKE_LINKER}" --verbose OUTPUT_VARIABLE verbose RESULT_VARIABLE failed)
  string(FIND "${verbose}" "==================================================" first)
  string(FIND "${verbose}" "==================================================" last REVERSE)
  if(failed OR first EQUAL -1 OR first EQUAL last)
    message(WARNING "No linker script from ${CMAKE_LINKER} --verbose: the installer keeps every section")
    return()
  endif()
  math(EXPR start "${first} + 50")
  math(EXPR length "${last} - ${start}")
  string(SUBSTRING "${verbose}" ${start} ${length} script)
  set(data_head ".data BLOCK(__section_alignment__) :")
  set(rdata_head ".rdata BLOCK(__section_alignment__) :")
  string(FIND "${script}" "${data_head}" data_at)
  string(FIND "${script}" "${rdata_head}" rdata_at)
  _lunko_cut_statement(script ".CRT BLOCK(__section_alignment__) :" crt)
  _lunko_cut_statement(script ".tls BLOCK(__section_alignment__) :" tls)
  _lunko_cut_statement(script ".eh_frame BLOCK(__section_alignment__) :" eh_frame)
  if(NOT crt OR NOT tls OR NOT eh_frame OR data_at EQUAL -1 OR rdata_at EQUAL -1)
    message(WARNING "The linker script of ${CMAKE_LINKER} is not the expected one: the installer keeps every section")
    return()
  endif()
  # In place, so that the symbols set after .rdata (the end of the runtime
  # pseudo-relocation list) still follow its end.
  _lunko_put_into(script "${data_head}" FIRST "${tls}")
  # Start-up tables the script does not name (the dynamic thread-local
  # initialisers, .CRT$XD*) were the .CRT section's orphans, put at its end.
  _lunko_put_into(script "${data_head}" LAST "${crt}  KEEP (*(SORT(.CRT$*)))\n  ")
  _lunko_put_into(script "${rdata_head}" FIRST "${eh_frame}")
  _lunko_cut_statement(script "${data_head}" data)
  set(idata_head ".idata BLOCK(__section_alignment__) :")
  string(FIND "${script}" "${idata_head}" idata_at)
  if(NOT data OR idata_at EQUAL -1)
    message(WARNING "The linker script of ${CMAKE_LINKER} has no .idata statement: the installer keeps every section")
    return()
  endif()
  _lunko_put_into(script "${idata_head}" LAST "${data}")
  _lunko_put_into(script "${idata_head}" LAST
    "  ASSERT(___tls_end__ == ___tls_start__, \"a thread-local template, which the installer's start-up does not set up\");\n  ")
  set(file "${_lunko_release_dir}/installer.ld")
  file(WRITE "${file}" "${script}")
  set(${out} "${file}" PARENT_SCOPE)
endfunction()
_lunko_fold_sections(LUNKO_LINKER_SCRIPT)

function(lunko_release_image target)
  set_property(SOURCE "${CMAKE_SOURCE_DIR}/resources/installer.rc" APPEND PROPERTY
    OBJECT_DEPENDS "${_lunko_release_dir}/installer.manifest;${_lunko_release_dir}/lunko_version.h")
  # -s: no debugging sections in the shipped file. No link time stamp.
  # Subsystem 4.0: the oldest the loaders of Windows 95 and NT 4.0 accept
  # that still gives the three-dimensional dialog look on current Windows
  # (a 3.x image is drawn as a Windows 3 program). See the README.
  # The installer's own entry point instead of the C runtime's start-up code
  # (wizard/entry.cpp); with automatic data imports off, a use of DLL data
  # that only the runtime's relocator could have served fails to link.
  target_sources(${target} PRIVATE "${CMAKE_SOURCE_DIR}/wizard/entry.cpp")
  target_link_options(${target} PRIVATE -nostartfiles -Wl,--disable-auto-import)
  target_link_options(${target} PRIVATE -s -Wl,--gc-sections -Wl,--no-insert-timestamp
    -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
    -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
  if(LUNKO_PAGE_ALIGNED_IMAGE)
    target_link_options(${target} PRIVATE -Wl,--file-alignment,4096)
  endif()
  if(LUNKO_LINKER_SCRIPT)
    target_link_options(${target} PRIVATE "-Wl,-T,${LUNKO_LINKER_SCRIPT}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${LUNKO_LINKER_SCRIPT}")
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
