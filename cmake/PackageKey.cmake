# Generates the signing-key headers from the key files at configure time:
#   generated/package_public_key.h  the modulus the player checks packages against
#                                   (VOSTRELLE_PUBLIC_KEY_FILE, 256 hex digits)
#   generated/package_test_key.h    the repository's test private key, which
#                                   vpack signs with unless given --key
set(_gen "${CMAKE_BINARY_DIR}/generated")
file(MAKE_DIRECTORY "${_gen}")

function(_vs_key_hex file out)
  file(STRINGS "${file}" lines)
  set(hex "")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^[ \t]*#")
      string(APPEND hex "${line}")
    endif()
  endforeach()
  string(REGEX REPLACE "[ \t\r\n]" "" hex "${hex}")
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

if(NOT EXISTS "${VOSTRELLE_PUBLIC_KEY_FILE}")
  message(FATAL_ERROR "VOSTRELLE_PUBLIC_KEY_FILE: no such file: ${VOSTRELLE_PUBLIC_KEY_FILE}")
endif()
_vs_key_hex("${VOSTRELLE_PUBLIC_KEY_FILE}" _modulus)
string(LENGTH "${_modulus}" _len)
if(NOT _len EQUAL 256 OR NOT _modulus MATCHES "^[0-9A-Fa-f]+$")
  message(FATAL_ERROR "${VOSTRELLE_PUBLIC_KEY_FILE}: expected a 1024-bit modulus as 256 hex digits")
endif()
string(REGEX REPLACE "([0-9A-Fa-f][0-9A-Fa-f])" "0x\\1," _bytes "${_modulus}")
file(CONFIGURE OUTPUT "${_gen}/package_public_key.h" CONTENT
"// Generated at configure time from ${VOSTRELLE_PUBLIC_KEY_FILE}.
#pragma once
// RSA modulus (big-endian) that package signatures are checked against.
static const unsigned char kPackageModulus[128] = {${_bytes}};
" @ONLY)

# The embedded demo is signed with VOSTRELLE_SIGNING_KEY_FILE when it is set,
# else with the test key; a player built for another key would refuse it.
if(VOSTRELLE_SIGNING_KEY_FILE)
  if(NOT EXISTS "${VOSTRELLE_SIGNING_KEY_FILE}")
    message(FATAL_ERROR "VOSTRELLE_SIGNING_KEY_FILE: no such file: ${VOSTRELLE_SIGNING_KEY_FILE}")
  endif()
  file(STRINGS "${VOSTRELLE_SIGNING_KEY_FILE}" _signing_n REGEX "^[ \t]*n[ \t]*=")
  string(REGEX REPLACE "^[ \t]*n[ \t]*=|[ \t\r]" "" _signing_n "${_signing_n}")
  string(TOUPPER "${_signing_n}" _signing_n)
  string(TOUPPER "${_modulus}" _modulus_upper)
  if(NOT _signing_n STREQUAL _modulus_upper)
    message(FATAL_ERROR "VOSTRELLE_SIGNING_KEY_FILE ${VOSTRELLE_SIGNING_KEY_FILE}: its n= is not the modulus of "
                        "VOSTRELLE_PUBLIC_KEY_FILE, so the player would refuse the demo it signs")
  endif()
  set(VS_DEMO_KEY_ARGS --key "${VOSTRELLE_SIGNING_KEY_FILE}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${VOSTRELLE_SIGNING_KEY_FILE}")
else()
  set(VS_DEMO_KEY_ARGS "")
  _vs_key_hex("${CMAKE_SOURCE_DIR}/keys/test-public.txt" _test_modulus)
  string(TOUPPER "${_test_modulus}" _test_modulus)
  string(TOUPPER "${_modulus}" _modulus_upper)
  if(NOT _test_modulus STREQUAL _modulus_upper)
    message(WARNING "This player checks packages against ${VOSTRELLE_PUBLIC_KEY_FILE}, but the embedded demo is "
                    "signed with the test key and will be refused: set VOSTRELLE_SIGNING_KEY_FILE to the private "
                    "key, or embed your own package with vpack embed")
  endif()
endif()

set(_private "${CMAKE_SOURCE_DIR}/keys/test-private.txt")
file(READ "${_private}" _private_text)
string(REPLACE "\\" "\\\\" _private_text "${_private_text}")
string(REPLACE "\"" "\\\"" _private_text "${_private_text}")
string(REPLACE "\n" "\\n\"\n\"" _private_text "${_private_text}")
file(CONFIGURE OUTPUT "${_gen}/package_test_key.h" CONTENT
"// Generated at configure time from keys/test-private.txt.
#pragma once
// The repository's test signing key, in the key-file text format.
static const char kTestPrivateKey[] =
\"${_private_text}\";
" @ONLY)

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${VOSTRELLE_PUBLIC_KEY_FILE}" "${_private}")
