# The release build: reproducible, and signable (issue 9, "A release build
# Windows trusts"). The stripping, manifest, version resource and import
# table are checked by test_installer_file.

# Two clean default builds in two other folders, each making its own demo
# payload, give byte-identical installers.
add_test(NAME release_reproducible
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/release/reproducible.sh
    ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/reproducible -DLUNKO_UNIFONT_HEX=${LUNKO_UNIFONT_HEX})
set_tests_properties(release_reproducible PROPERTIES TIMEOUT 1800)

# Signing with a throwaway self-made certificate, through the same command
# as the optional build step (cmake/release.cmake).
find_program(LUNKO_OPENSSL openssl REQUIRED)
set(sign_dir ${CMAKE_BINARY_DIR}/signing-test)
add_custom_command(
  OUTPUT ${sign_dir}/cert.pem ${sign_dir}/key.pem
  COMMAND ${CMAKE_COMMAND} -E make_directory ${sign_dir}
  COMMAND ${LUNKO_OPENSSL} req -x509 -newkey rsa:2048 -nodes -days 3650
    -keyout ${sign_dir}/key.pem -out ${sign_dir}/cert.pem
    -subj "/CN=Lunko throwaway test signer"
    -addext "extendedKeyUsage=codeSigning"
    -addext "basicConstraints=critical,CA:TRUE"
    -addext "keyUsage=critical,digitalSignature,keyCertSign"
  COMMENT "Making a throwaway code-signing certificate"
  VERBATIM)
lunko_sign_command(sign_cmd ${sign_dir}/cert.pem ${sign_dir}/key.pem
  $<TARGET_FILE:installer> ${sign_dir}/LunkoSetup.exe)
add_custom_command(
  OUTPUT ${sign_dir}/LunkoSetup.exe
  COMMAND ${CMAKE_COMMAND} -E remove -f ${sign_dir}/LunkoSetup.exe
  COMMAND ${sign_cmd}
  DEPENDS installer ${sign_dir}/cert.pem ${sign_dir}/key.pem
  COMMENT "Signing a copy of the installer with the throwaway certificate"
  VERBATIM)
add_custom_target(installer_signed_for_test ALL DEPENDS ${sign_dir}/LunkoSetup.exe)

add_test(NAME release_signature_verifies
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/release/verify-signature.sh
    ${sign_dir}/LunkoSetup.exe ${sign_dir}/cert.pem ${sign_dir}/verify)
# The signed installer still finds its resources: it starts, shows the
# wizard with its labels and ends as it should.
lunko_test_run(release_signed_installer_starts PROGRAM test_installer_start
  ENV "LUNKO_INSTALLER=${sign_dir}/LunkoSetup.exe"
  ARGS --gtest_filter=*FirstPage*:*Cancel)

# The benchmark against NSIS is run by hand (bench/run-bench.sh); here once on
# three catalogue files, so that it cannot rot. Nothing is timed or judged.
add_test(NAME bench_runs
  COMMAND bash ${CMAKE_SOURCE_DIR}/bench/run-bench.sh ${CMAKE_BINARY_DIR} 1)
set_tests_properties(bench_runs PROPERTIES TIMEOUT 900
  ENVIRONMENT "LUNKO_BENCH_ROWS=3;LUNKO_WINE_TEMPLATE=${LUNKO_WINE_TEMPLATE}")
