# The official WebView2 SDK for the Windows build: its header and the x64
# loader DLL, from the NuGet package at a pinned version. The package is
# restored with the .NET SDK's dotnet into this build tree, once, when the
# tree is configured; it is never part of the repository.
#
# Gives the interface target vistrel_webview2 (the header as a system include
# and VISTREL_WEBVIEW2_SDK), VISTREL_WEBVIEW2_LOADER (the x64 DLL's path) and,
# in the cache for the test scripts, VISTREL_WEBVIEW2_NATIVE (the package's
# native folder, with a loader for each architecture).

set(VISTREL_WEBVIEW2_VERSION 1.0.4314.35)
# SHA-512 of the package file as the registry serves it, so that the pin holds
# whichever NuGet source the machine is set up with.
string(CONCAT VISTREL_WEBVIEW2_SHA512 70e6a256a3f7066407327c46a59cc034cdb6b545e0c9cae2b322478c818dcc86
                                     8cb26f225e3ecac7e71e620f916d8c09b734f4d3da9f7054e872f54b63e7a433)

set(_wv2_dir ${CMAKE_BINARY_DIR}/webview2)
set(_wv2_package ${_wv2_dir}/packages/microsoft.web.webview2/${VISTREL_WEBVIEW2_VERSION})
set(_wv2_header ${_wv2_package}/build/native/include/WebView2.h)
set(VISTREL_WEBVIEW2_LOADER ${_wv2_package}/build/native/x64/WebView2Loader.dll)
set(_wv2_nupkg ${_wv2_package}/microsoft.web.webview2.${VISTREL_WEBVIEW2_VERSION}.nupkg)

if(NOT EXISTS ${_wv2_header} OR NOT EXISTS ${VISTREL_WEBVIEW2_LOADER} OR NOT EXISTS ${_wv2_nupkg})
  find_program(VISTREL_DOTNET dotnet)
  if(NOT VISTREL_DOTNET)
    message(FATAL_ERROR
      "The Windows build takes the WebView2 SDK from NuGet with the .NET SDK's 'dotnet', which is not installed. "
      "Install the .NET SDK, or configure with -DVISTREL_WEBVIEW2_SDK=OFF to build the program without its web view.")
  endif()
  # The project only downloads the package; any framework the SDK knows will do.
  execute_process(COMMAND ${VISTREL_DOTNET} --version OUTPUT_VARIABLE _wv2_dotnet_version
                  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE _wv2_result)
  if(NOT _wv2_result EQUAL 0 OR NOT _wv2_dotnet_version MATCHES "^([0-9]+)\\.")
    message(FATAL_ERROR "'${VISTREL_DOTNET} --version' did not answer with a version: ${_wv2_dotnet_version}")
  endif()
  set(_wv2_framework net${CMAKE_MATCH_1}.0)
  file(MAKE_DIRECTORY ${_wv2_dir})
  file(WRITE ${_wv2_dir}/restore.csproj
"<Project Sdk=\"Microsoft.NET.Sdk\">
  <PropertyGroup>
    <TargetFramework>${_wv2_framework}</TargetFramework>
  </PropertyGroup>
  <ItemGroup>
    <PackageDownload Include=\"Microsoft.Web.WebView2\" Version=\"[${VISTREL_WEBVIEW2_VERSION}]\" />
  </ItemGroup>
</Project>
")
  message(STATUS "Restoring Microsoft.Web.WebView2 ${VISTREL_WEBVIEW2_VERSION} with dotnet ${_wv2_dotnet_version}")
  # No telemetry, no first-run work, no update checks: the restore is the only traffic.
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env
      DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 DOTNET_SKIP_FIRST_TIME_EXPERIENCE=1
      DOTNET_CLI_WORKLOAD_UPDATE_NOTIFY_DISABLE=1 DOTNET_GENERATE_ASPNET_CERTIFICATE=false
      DOTNET_ADD_GLOBAL_TOOLS_TO_PATH=false NUGET_HTTP_CACHE_PATH=${_wv2_dir}/http-cache
      ${VISTREL_DOTNET} restore ${_wv2_dir}/restore.csproj --packages ${_wv2_dir}/packages
    WORKING_DIRECTORY ${_wv2_dir}
    RESULT_VARIABLE _wv2_result
    OUTPUT_VARIABLE _wv2_output
    ERROR_VARIABLE _wv2_output)
  file(WRITE ${_wv2_dir}/restore.log "${_wv2_output}")
  if(NOT _wv2_result EQUAL 0 OR NOT EXISTS ${_wv2_header} OR NOT EXISTS ${VISTREL_WEBVIEW2_LOADER})
    message(FATAL_ERROR "Restoring Microsoft.Web.WebView2 ${VISTREL_WEBVIEW2_VERSION} failed:\n${_wv2_output}")
  endif()
endif()

file(SHA512 ${_wv2_nupkg} _wv2_hash)
if(NOT _wv2_hash STREQUAL VISTREL_WEBVIEW2_SHA512)
  message(FATAL_ERROR "The restored Microsoft.Web.WebView2 package in ${_wv2_package} is not the pinned one "
                      "(SHA-512 ${_wv2_hash}); delete ${_wv2_dir} to restore it again.")
endif()

set(VISTREL_WEBVIEW2_NATIVE ${_wv2_package}/build/native CACHE INTERNAL "The WebView2 SDK's native folder")
# The package's own files, its licence among them.
set(VISTREL_WEBVIEW2_PACKAGE ${_wv2_package})

add_library(vistrel_webview2 INTERFACE)
target_compile_definitions(vistrel_webview2 INTERFACE VISTREL_WEBVIEW2_SDK)
target_include_directories(vistrel_webview2 SYSTEM INTERFACE ${_wv2_package}/build/native/include)
if(MINGW)
  # The header includes "EventToken.h", which MinGW spells in lower case.
  set(_wv2_shim ${_wv2_dir}/include)
  file(CONFIGURE OUTPUT ${_wv2_shim}/EventToken.h CONTENT "#include <eventtoken.h>\n")
  target_include_directories(vistrel_webview2 SYSTEM INTERFACE ${_wv2_shim})
endif()
