# brivelo_delay_import(<target> <dll> <function@argument-bytes>...): <target> is an import library
# of <dll> for the functions listed whose DLL is loaded on the first call of one of them (the C
# run time's delay-load helper) instead of when the executable starts. Link it just before the
# DLL's ordinary import library: a function it does not list still comes from that one (and then
# the DLL loads with the executable again). The argument bytes are the stdcall decoration of the
# 32-bit build; the 64-bit build has none.
function(brivelo_delay_import target dll)
  set(folder "${CMAKE_BINARY_DIR}/delay_import")
  set(def "${folder}/${target}.def")
  set(lib "${folder}/lib${target}.a")
  set(text "LIBRARY ${dll}\nEXPORTS\n")
  foreach(function ${ARGN})
    if(NOT BRIVELO_ARCH STREQUAL i686)
      string(REGEX REPLACE "@[0-9]+$" "" function "${function}")
    endif()
    string(APPEND text "  ${function}\n")
  endforeach()
  # Written only when it changed, so that a new configure does not relink everything.
  file(CONFIGURE OUTPUT "${def}" CONTENT "${text}" @ONLY)
  set(kill_at "")
  if(BRIVELO_ARCH STREQUAL i686)
    set(kill_at --kill-at)
  endif()
  add_custom_command(OUTPUT "${lib}"
    COMMAND "${CMAKE_DLLTOOL}" --input-def "${def}" --dllname "${dll}" ${kill_at} --output-delaylib "${lib}"
    DEPENDS "${def}" VERBATIM)
  add_custom_target(${target}_file DEPENDS "${lib}")
  add_library(${target} INTERFACE)
  target_link_libraries(${target} INTERFACE "${lib}")
  add_dependencies(${target} ${target}_file)
endfunction()

# The libraries only the signer check, the statistics reports and the machine identifiers use:
# loading them with the executable cost every process's start about 10 ms under Wine.
brivelo_delay_import(brivelo_delay_crypt32 crypt32.dll
  CertCloseStore@8 CertDuplicateCertificateContext@4 CertEnumCertificatesInStore@8 CertFindCertificateInStore@24
  CertFreeCertificateContext@4 CertGetCertificateContextProperty@16 CertGetNameStringW@24 CertOpenStore@20)
brivelo_delay_import(brivelo_delay_wintrust wintrust.dll WTHelperProvDataFromStateData@4 WinVerifyTrust@12)
brivelo_delay_import(brivelo_delay_urlmon urlmon.dll URLDownloadToCacheFileW@24 URLDownloadToFileW@20)
brivelo_delay_import(brivelo_delay_iphlpapi iphlpapi.dll GetAdaptersInfo@8)
