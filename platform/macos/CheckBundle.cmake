# Holds the Mac bundle's Info.plist to what the build and the core say,
# on any machine:
#   cmake -DSOURCE_DIR=<project> -DPROJECT_VERSION=<x.y> -P CheckBundle.cmake
# A bundle whose CFBundleExecutable is not the program's name does not
# launch, one without LSUIElement shows a Dock icon, and one whose
# identifier differs from kBundleID escapes the single-instance check.
# Then it checks itself: a plist with each of those faults planted must be
# rejected on every count.
cmake_minimum_required(VERSION 3.21)

include(${SOURCE_DIR}/platform/macos/Bundle.cmake)

# The identifier the core looks for.
file(READ ${SOURCE_DIR}/app/Constants.h constants)
if(NOT constants MATCHES "kBundleID = \"([^\"]+)\"")
  message(FATAL_ERROR "kBundleID not found in app/Constants.h")
endif()
set(bundle_id ${CMAKE_MATCH_1})

# The deployment target of the Mac preset.
file(READ ${SOURCE_DIR}/CMakePresets.json presets)
string(JSON count LENGTH ${presets} configurePresets)
math(EXPR last "${count} - 1")
set(deployment "")
foreach(i RANGE ${last})
  string(JSON name GET ${presets} configurePresets ${i} name)
  if(name STREQUAL "macos")
    string(JSON deployment GET ${presets} configurePresets ${i} cacheVariables CMAKE_OSX_DEPLOYMENT_TARGET)
  endif()
endforeach()
if(deployment STREQUAL "")
  message(FATAL_ERROR "no CMAKE_OSX_DEPLOYMENT_TARGET in the macos preset")
endif()

# The plist as the Mac build configures it.
file(READ ${SOURCE_DIR}/platform/macos/Info.plist template)
set(MACOSX_BUNDLE_SHORT_VERSION_STRING ${PROJECT_VERSION})
set(MACOSX_BUNDLE_BUNDLE_VERSION ${PROJECT_VERSION})
string(CONFIGURE "${template}" plist)

function(plist_value text key out)
  if(text MATCHES "<key>${key}</key>[ \t\r\n]*<string>([^<]*)</string>")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  elseif(text MATCHES "<key>${key}</key>[ \t\r\n]*<(true|false)/>")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  else()
    set(${out} "(missing)" PARENT_SCOPE)
  endif()
endfunction()

# Sets `out` to one line per disagreement.
function(check_plist text out)
  set(faults "")
  foreach(pair
      "CFBundleExecutable|${TUCKLINE_MAC_EXECUTABLE}"
      "CFBundleIdentifier|${bundle_id}"
      "LSMinimumSystemVersion|${deployment}"
      "LSUIElement|true"
      "CFBundleShortVersionString|${PROJECT_VERSION}")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 key)
    list(GET pair 1 expected)
    plist_value("${text}" ${key} actual)
    if(NOT actual STREQUAL expected)
      string(APPEND faults "  ${key} is ${actual}, the build says ${expected}\n")
    endif()
  endforeach()
  set(${out} "${faults}" PARENT_SCOPE)
endfunction()

check_plist("${plist}" faults)
if(NOT faults STREQUAL "")
  message(FATAL_ERROR "Info.plist disagrees with the build:\n${faults}")
endif()

set(planted "${plist}")
string(REPLACE "<string>${TUCKLINE_MAC_EXECUTABLE}</string>" "<string>Tuckline2</string>" planted "${planted}")
string(REPLACE "<string>${bundle_id}</string>" "<string>com.example.other</string>" planted "${planted}")
string(REPLACE "<string>${deployment}</string>" "<string>14.0</string>" planted "${planted}")
string(REGEX REPLACE "(<key>LSUIElement</key>[ \t\r\n]*)<true/>" "\\1<false/>" planted "${planted}")
string(REPLACE "<string>${PROJECT_VERSION}</string>" "<string>0.9</string>" planted "${planted}")
check_plist("${planted}" faults)
string(REGEX MATCHALL "\n" lines "${faults}")
list(LENGTH lines n)
if(NOT n EQUAL 5)
  message(FATAL_ERROR "self-test: of five planted faults only these were found:\n${faults}")
endif()
message(STATUS "Info.plist agrees with the build (${TUCKLINE_MAC_EXECUTABLE}, ${bundle_id}, macOS ${deployment}, "
               "LSUIElement, ${PROJECT_VERSION}); all five planted faults rejected")
