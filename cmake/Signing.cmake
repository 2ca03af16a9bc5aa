# Authenticode signing of the programs the build ships, with the test
# publisher of a test PKI that tools/testpki.sh makes in this build tree (never
# committed). A release signs again with the real publisher: tools/sign.sh.
find_program(CORVANE_OSSLSIGNCODE osslsigncode)
find_program(CORVANE_OPENSSL openssl)
if(NOT CORVANE_OSSLSIGNCODE OR NOT CORVANE_OPENSSL)
  message(FATAL_ERROR "osslsigncode and openssl are needed to sign the programs (run tools/setup.sh)")
endif()

set(CORVANE_PKI_DIR ${CMAKE_BINARY_DIR}/pki)
set(CORVANE_SIGN ${CMAKE_SOURCE_DIR}/tools/sign.sh)
add_custom_command(OUTPUT ${CORVANE_PKI_DIR}/done
  COMMAND ${CMAKE_SOURCE_DIR}/tools/testpki.sh ${CORVANE_PKI_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/testpki.sh
  COMMENT "Making the test PKI"
  VERBATIM)
add_custom_target(test_pki DEPENDS ${CORVANE_PKI_DIR}/done)

# corvane_sign(TARGET [SIGNER name] [KEEP_UNSIGNED dir])
# Signs the target's file as the last step after it is linked, with the test
# PKI's signer `name` (default: publisher). KEEP_UNSIGNED first keeps a copy of
# the unsigned file, under the same name, in `dir`. Call it after every other
# post-build step of the target: the signature covers the finished file.
function(corvane_sign target)
  cmake_parse_arguments(S "" "SIGNER;KEEP_UNSIGNED" "" ${ARGN})
  if(NOT S_SIGNER)
    set(S_SIGNER publisher)
  endif()
  add_dependencies(${target} test_pki)
  set(keep)
  if(S_KEEP_UNSIGNED)
    set(keep COMMAND ${CMAKE_COMMAND} -E make_directory ${S_KEEP_UNSIGNED}
             COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${S_KEEP_UNSIGNED}/)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    ${keep}
    COMMAND ${CORVANE_SIGN} --cert ${CORVANE_PKI_DIR}/${S_SIGNER}-chain.pem --key ${CORVANE_PKI_DIR}/${S_SIGNER}.key
            $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
