# Crypto subsystem build settings.
#
# Authenticators are checked against a built-in RSA public key (src/crypto/authkey.h).
# -DZQXMLU_AUTH_PUBLIC_KEY=<file> builds in another one instead: a PEM public key
# ("BEGIN PUBLIC KEY") of 1024 bits, read with the openssl tool when CMake configures. The
# generated header holds the same two arrays (a zero byte and the 128 modulus bytes; the exponent).

set(ZQXMLU_AUTH_PUBLIC_KEY "" CACHE FILEPATH
  "PEM file of the 1024-bit RSA public key that authenticators are checked against (empty: the built-in key)")

if(ZQXMLU_AUTH_PUBLIC_KEY)
  if(NOT EXISTS "${ZQXMLU_AUTH_PUBLIC_KEY}")
    message(FATAL_ERROR "ZQXMLU_AUTH_PUBLIC_KEY: no such file: ${ZQXMLU_AUTH_PUBLIC_KEY}")
  endif()
  find_program(ZQXMLU_OPENSSL_TOOL openssl)
  if(NOT ZQXMLU_OPENSSL_TOOL)
    message(FATAL_ERROR "ZQXMLU_AUTH_PUBLIC_KEY needs the openssl command-line tool")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${ZQXMLU_AUTH_PUBLIC_KEY}")

  execute_process(
    COMMAND "${ZQXMLU_OPENSSL_TOOL}" rsa -pubin -in "${ZQXMLU_AUTH_PUBLIC_KEY}" -noout -modulus
    OUTPUT_VARIABLE _zq_modulus ERROR_VARIABLE _zq_error RESULT_VARIABLE _zq_rc
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT _zq_rc EQUAL 0 OR NOT _zq_modulus MATCHES "^Modulus=([0-9A-Fa-f]+)$")
    message(FATAL_ERROR "ZQXMLU_AUTH_PUBLIC_KEY: not an RSA public key in PEM form: ${_zq_error}")
  endif()
  set(_zq_modulus_hex "${CMAKE_MATCH_1}")
  string(LENGTH "${_zq_modulus_hex}" _zq_digits)
  if(NOT _zq_digits EQUAL 256 OR _zq_modulus_hex MATCHES "^[0-7]")
    message(FATAL_ERROR "ZQXMLU_AUTH_PUBLIC_KEY: the key must have 1024 bits (authenticators are 128 bytes)")
  endif()

  execute_process(
    COMMAND "${ZQXMLU_OPENSSL_TOOL}" rsa -pubin -in "${ZQXMLU_AUTH_PUBLIC_KEY}" -noout -text
    OUTPUT_VARIABLE _zq_text RESULT_VARIABLE _zq_rc)
  if(NOT _zq_rc EQUAL 0 OR NOT _zq_text MATCHES "Exponent: [0-9]+ \\(0x([0-9A-Fa-f]+)\\)")
    message(FATAL_ERROR "ZQXMLU_AUTH_PUBLIC_KEY: cannot read the public exponent")
  endif()
  set(_zq_exponent_hex "${CMAKE_MATCH_1}")
  string(LENGTH "${_zq_exponent_hex}" _zq_digits)
  math(EXPR _zq_odd "${_zq_digits} % 2")
  if(_zq_odd)
    set(_zq_exponent_hex "0${_zq_exponent_hex}")
  endif()

  # Hex digits to C bytes: "A1B2" -> "0xA1, 0xB2, ".
  function(_zq_hex_to_bytes hex out)
    string(REGEX REPLACE "([0-9A-Fa-f][0-9A-Fa-f])" "0x\\1, " bytes "${hex}")
    set(${out} "${bytes}" PARENT_SCOPE)
  endfunction()
  _zq_hex_to_bytes("00${_zq_modulus_hex}" _zq_modulus_bytes)
  _zq_hex_to_bytes("${_zq_exponent_hex}" _zq_exponent_bytes)
  string(LENGTH "${_zq_exponent_hex}" _zq_digits)
  math(EXPR _zq_exponent_size "${_zq_digits} / 2")

  file(CONFIGURE OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/crypto/authkey_generated.h" CONTENT
"// Generated when CMake configured, from @ZQXMLU_AUTH_PUBLIC_KEY@.
#ifndef ZQ_CRYPTO_AUTHKEY_GENERATED_H
#define ZQ_CRYPTO_AUTHKEY_GENERATED_H

namespace zq {

inline constexpr unsigned char kAuthModulus[129] = {@_zq_modulus_bytes@};
inline constexpr unsigned char kAuthExponent[@_zq_exponent_size@] = {@_zq_exponent_bytes@};

}  // namespace zq

#endif
" @ONLY)
  target_compile_definitions(zqxmlu_obj PRIVATE ZQXMLU_AUTH_PUBLIC_KEY_GENERATED=1)
  message(STATUS "Authenticator key: ${ZQXMLU_AUTH_PUBLIC_KEY}")
endif()
