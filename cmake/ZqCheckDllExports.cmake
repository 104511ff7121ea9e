# Reads zqxmlu.dll's export table back and holds it against the interface (cmake -P; a test of
# the Windows builds, see cmake/ZqWindowsExports.cmake). It checks that
#  * the table holds exactly the expected names: 44 plain, 67 decorated and the 4 second
#    decorations, nothing else, no plain name with a leading underscore or an "@N";
#  * every plain name of a 32-bit DLL is stdcall (the host imports "_Name@N"), except the two
#    variadic prints (cdecl);
#  * every decoration, demangled by llvm-undname, is the declaration of the header: the demangled
#    type is compiled against the header's function (an exact match or the build fails); each
#    second decoration differs from the first only by `unsigned long` for one `unsigned int`;
#  * a Microsoft-ABI host that imports every name links against zqxmlu.lib.
# Inputs: DLL IMPLIB EXPECTED PROBE_OBJ OBJDUMP UNDNAME CLANG LLD_LINK MACHINE FLAGS WORK.
cmake_minimum_required(VERSION 3.25)
file(MAKE_DIRECTORY ${WORK})
set(_failures "")
macro(zq_fail text)
  string(APPEND _failures "  ${text}\n")
endmacro()

# The export table.
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE _dump RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
endif()
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\][^\n]*\n)*)"
  _ "${_dump}")
# "\t[  12] name" lines to a list of names (the brackets must go first: a CMake list does not
# split inside them).
string(REGEX REPLACE "[ \t]+\\[[ 0-9]+\\] " "" _names "${CMAKE_MATCH_1}")
string(STRIP "${_names}" _names)
string(REPLACE "\n" ";" _table "${_names}")

# What it must hold.
file(STRINGS ${EXPECTED} _expected)
set(_want "")
set(_counts_plain 0)
set(_counts_cdecl 0)
set(_counts_decorated 0)
set(_counts_alias 0)
set(_decorations "")
foreach(_line IN LISTS _expected)
  separate_arguments(_f UNIX_COMMAND "${_line}")
  list(GET _f 0 _kind)
  list(GET _f 1 _name)
  list(GET _f 2 _export)
  list(GET _f 3 _import)
  math(EXPR _counts_${_kind} "${_counts_${_kind}} + 1")
  list(APPEND _want "${_export}")
  if(_kind STREQUAL "plain" OR _kind STREQUAL "cdecl")
    if(_export MATCHES "^_|@")
      zq_fail("plain name ${_export} is decorated")
    endif()
    if(MACHINE STREQUAL "x86")
      if(_kind STREQUAL "plain" AND NOT _import MATCHES "^${_name}@[0-9]+$")
        zq_fail("${_name} is not stdcall: a host imports ${_import}")
      endif()
      if(_kind STREQUAL "cdecl" AND NOT _name MATCHES "sprintf$")
        zq_fail("${_name} is cdecl")
      endif()
    endif()
  else()
    list(APPEND _decorations "${_export}")
    set(_base_${_export} "${_name}")
  endif()
endforeach()
# The second decorations: four in the 32-bit DLL, three in the 64-bit one (where the prefix
# column is a 64-bit word).
if(MACHINE STREQUAL "x86")
  set(_aliases 4)
else()
  set(_aliases 3)
endif()
math(EXPR _plain "${_counts_plain} + ${_counts_cdecl}")
if(NOT _plain EQUAL 44 OR NOT _counts_decorated EQUAL 67 OR NOT _counts_alias EQUAL _aliases)
  zq_fail("expected 44 plain, 67 decorated names and ${_aliases} second decorations; the probe "
    "gives ${_plain}, ${_counts_decorated} and ${_counts_alias}")
endif()
math(EXPR _counts_decorated "${_counts_decorated} + ${_counts_alias}")

set(_missing ${_want})
list(REMOVE_ITEM _missing ${_table})
set(_extra ${_table})
list(REMOVE_ITEM _extra ${_want})
foreach(_name IN LISTS _missing)
  zq_fail("missing from the table: ${_name}")
endforeach()
foreach(_name IN LISTS _extra)
  zq_fail("exported but not in the interface: ${_name}")
endforeach()
list(LENGTH _table _table_size)
list(LENGTH _want _want_size)

# Demangle every decoration and compile its declaration against the header.
execute_process(COMMAND ${UNDNAME} ${_decorations} OUTPUT_VARIABLE _undname RESULT_VARIABLE _rc)
string(REPLACE "\n\n" ";" _pairs "${_undname}")
set(_bases "")
foreach(_pair IN LISTS _pairs)
  string(STRIP "${_pair}" _pair)
  if(_pair STREQUAL "")
    continue()
  endif()
  string(REGEX MATCH "^([^\n]+)\n([^\n]+)$" _ "${_pair}")
  set(_mangled "${CMAKE_MATCH_1}")
  set(_text "${CMAKE_MATCH_2}")
  if(NOT _text MATCHES "^(.*[^ ]) *(__stdcall|__cdecl) +([A-Za-z0-9_]+)\\((.*)\\)$")
    zq_fail("cannot demangle ${_mangled}: ${_text}")
    continue()
  endif()
  set(_declaration_${_mangled} "${_text}")
  set(_type_${_mangled} "${CMAKE_MATCH_1} (${CMAKE_MATCH_2} *)(${CMAKE_MATCH_4})")
  set(_function "${CMAKE_MATCH_3}")
  if(NOT _function STREQUAL _base_${_mangled})
    zq_fail("${_mangled} demangles to ${_function}")
  endif()
  list(APPEND _by_base_${_function} "${_mangled}")
  list(APPEND _bases "${_function}")
endforeach()
list(REMOVE_DUPLICATES _bases)

# The header's own decoration of each function is compiled against it; a second decoration must
# be the first with `unsigned long` for `unsigned int` in exactly one argument.
set(_checks "")
set(_index 0)
foreach(_base IN LISTS _bases)
  set(_decorations_of ${_by_base_${_base}})
  list(LENGTH _decorations_of _n)
  list(GET _decorations_of 0 _primary)
  if(_n EQUAL 2)
    list(GET _decorations_of 1 _other)
    string(REPLACE "(" "," _a "${_declaration_${_primary}}")
    string(REPLACE "(" "," _b "${_declaration_${_other}}")
    string(REPLACE "," ";" _a "${_a}")
    string(REPLACE "," ";" _b "${_b}")
    list(LENGTH _a _la)
    list(LENGTH _b _lb)
    set(_differing 0)
    set(_fits FALSE)
    if(_la EQUAL _lb)
      math(EXPR _last "${_la} - 1")
      foreach(_i RANGE ${_last})
        list(GET _a ${_i} _pa)
        list(GET _b ${_i} _pb)
        if(NOT _pa STREQUAL _pb)
          math(EXPR _differing "${_differing} + 1")
          string(REPLACE "unsigned int" "unsigned long" _pa_long "${_pa}")
          string(REPLACE "unsigned int" "unsigned long" _pb_long "${_pb}")
          if(_pa_long STREQUAL _pb AND NOT _pa STREQUAL _pa_long)
            set(_fits TRUE)
          elseif(_pb_long STREQUAL _pa AND NOT _pb STREQUAL _pb_long)
            set(_fits TRUE)
            set(_swap "${_primary}")
            set(_primary "${_other}")
            set(_other "${_swap}")
          endif()
        endif()
      endforeach()
    endif()
    if(NOT _differing EQUAL 1 OR NOT _fits)
      zq_fail("${_other} is not ${_primary} with unsigned long for one unsigned int")
    endif()
  elseif(NOT _n EQUAL 1)
    zq_fail("${_base} has ${_n} decorations")
  endif()
  math(EXPR _index "${_index} + 1")
  string(APPEND _checks "// ${_declaration_${_primary}}\nusing T${_index} = ${_type_${_primary}};\n"
    "[[maybe_unused]] const T${_index} f${_index} = &${_base};\n")
endforeach()
file(WRITE ${WORK}/declarations.cpp "// Each decoration of zqxmlu.dll, demangled, against the header.
#include \"zqxmlu.h\"
${_checks}")
execute_process(COMMAND ${CLANG} ${FLAGS} -fsyntax-only ${WORK}/declarations.cpp
  ERROR_VARIABLE _errors RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  zq_fail("a demangled declaration differs from the header:\n${_errors}")
endif()

# A Microsoft-ABI host that imports every name links against the import library.
execute_process(COMMAND ${LLD_LINK} /nologo /dll /noentry /nodefaultlib /machine:${MACHINE}
  /out:${WORK}/host.dll ${PROBE_OBJ} ${IMPLIB}
  OUTPUT_VARIABLE _out ERROR_VARIABLE _err RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  zq_fail("a Microsoft-ABI host does not link against ${IMPLIB}:\n${_out}${_err}")
endif()

if(_failures)
  message(FATAL_ERROR "zqxmlu.dll's export table:\n${_failures}")
endif()
message(STATUS "zqxmlu.dll exports ${_table_size} names: ${_counts_plain} stdcall and "
  "${_counts_cdecl} cdecl plain names, ${_counts_decorated} decorations (${_counts_alias} of them "
  "second decorations); each decoration matches the header and a Microsoft-ABI host links")
